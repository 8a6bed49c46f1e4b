// Dialogs of the headless window system: a frame of class "#32770" listed in the window
// table with its caption, and one child window per control of its template.
#include <strings.h>

#include <cctype>

#include "installed_resources.h"
#include "platform/resource_table.h"
#include "platform/window.h"
#include "platform/window_messages.h"
#include "window_system.h"

namespace orvex::platform {

using posix::FindLocal;
using posix::FromHandle;
using posix::ToHandle;

namespace {

// Dialog units of an 8-point "MS Shell Dlg" font: 6 x 13 pixels per 4 x 8 units.
int32_t UnitsToX(int32_t units) {
  return units * 6 / 4;
}
int32_t UnitsToY(int32_t units) {
  return units * 13 / 8;
}

Rect UnitsToRect(int16_t x, int16_t y, int16_t cx, int16_t cy) {
  return Rect{UnitsToX(x), UnitsToY(y), UnitsToX(x + cx), UnitsToY(y + cy)};
}

// The system's control classes report their names in this spelling, whatever the
// template used.
std::string ClassName(const char* text) {
  std::string result = text == nullptr ? "" : text;
  for (const char* known : {"Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"}) {
    if (strcasecmp(result.c_str(), known) == 0) return known;
  }
  return result;
}

WindowHandle BuildDialog(const DialogTemplate& dialog, WindowHandle parent,
                         DialogProcedure procedure, LParam param, bool modal) {
  auto frame = posix::NewWindow("#32770", dialog.caption == nullptr ? "" : dialog.caption,
                                dialog.style & ~WS_VISIBLE, posix::DialogFrameProcedure, 0);
  frame->dialog_procedure = procedure;
  frame->modal = modal;
  frame->rect = UnitsToRect(dialog.x, dialog.y, dialog.cx, dialog.cy);
  (void)parent;  // an owned dialog is still a top-level window
  WindowHandle focus = nullptr;
  for (size_t i = 0; i < dialog.control_count; ++i) {
    const DialogControlTemplate& control = dialog.controls[i];
    auto child = posix::NewWindow(
        ClassName(control.window_class), control.text == nullptr ? "" : control.text,
        control.style | WS_CHILD | WS_VISIBLE, posix::ControlProcedure, frame->handle);
    child->id = control.id == -1 ? 0xFFFF : control.id;
    child->rect = UnitsToRect(control.x, control.y, control.cx, control.cy);
    child->visible = true;
    if (focus == nullptr && (control.style & WS_TABSTOP) != 0) focus = ToHandle(child->handle);
  }
  const WindowHandle handle = ToHandle(frame->handle);
  if (!posix::List(frame)) {
    posix::Destroy(frame->handle);
    return nullptr;
  }
  if (procedure(handle, WM_INITDIALOG, reinterpret_cast<WParam>(focus), param) != 0 &&
      focus != nullptr) {
    SetFocusTo(focus);
  }
  if (!IsWindowAlive(handle)) return nullptr;
  if ((dialog.style & WS_VISIBLE) != 0) ShowWindowAs(handle, SW_SHOW);
  return handle;
}

}  // namespace

namespace posix {

LResult ControlProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (message == BM_SETIMAGE || message == BM_GETIMAGE) {
    LParam previous = 0;
    const int kind = wparam == static_cast<WParam>(IMAGE_ICON) ? 1 : 0;
    Modify(FromHandle(window), [&](Window& w) {
      previous = w.images[kind];
      if (message == BM_SETIMAGE) w.images[kind] = lparam;
    });
    return previous;
  }
  return DefaultWindowProcedure(window, message, wparam, lparam);
}

// The dialog manager's part: the dialog's procedure first, then the defaults of a
// dialog (closing asks the dialog to cancel, as the system's dialog procedure does).
LResult DialogFrameProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  auto frame = FindLocal(FromHandle(window));
  if (!frame) return 0;
  if (frame->dialog_procedure != nullptr) {
    const intptr_t handled = frame->dialog_procedure(window, message, wparam, lparam);
    if (handled != 0) return handled;
  }
  if (message == WM_CLOSE) {
    PostWindowMessage(window, WM_COMMAND, static_cast<WParam>(IDCANCEL), 0);
    return 0;
  }
  return DefaultWindowProcedure(window, message, wparam, lparam);
}

}  // namespace posix

WindowHandle CreateDialogFromResource(ModuleInstance, int template_id, WindowHandle parent,
                                      DialogProcedure procedure, LParam param) {
  const DialogTemplate* dialog = posix::InstalledDialog(template_id);
  if (dialog == nullptr || procedure == nullptr) return nullptr;
  return BuildDialog(*dialog, parent, procedure, param, false);
}

WindowHandle CreateDialogFromTemplate(ModuleInstance, const DialogTemplate& dialog,
                                      WindowHandle parent, DialogProcedure procedure,
                                      LParam param) {
  if (procedure == nullptr) return nullptr;
  return BuildDialog(dialog, parent, procedure, param, false);
}

intptr_t RunModalDialogFromTemplate(ModuleInstance, const DialogTemplate& dialog,
                                    WindowHandle parent, DialogProcedure procedure, LParam param) {
  if (procedure == nullptr) return -1;
  const WindowHandle handle = BuildDialog(dialog, parent, procedure, param, true);
  if (handle == nullptr) return -1;
  ShowWindowAs(handle, SW_SHOW);
  intptr_t result = -1;
  for (;;) {
    auto frame = FindLocal(FromHandle(handle));
    if (!frame) break;  // destroyed without EndDialog
    bool ended = false;
    posix::Inspect(frame->handle, [&](posix::Window& w) {
      ended = w.ended;
      result = w.end_result;
    });
    if (ended) break;
    QueuedMessage message;
    const int got = GetNextMessage(&message);
    if (got <= 0) {
      // WM_QUIT ends the modal loop and stays for the caller's own loop.
      if (got == 0) PostQuit(static_cast<int>(message.wparam));
      break;
    }
    TranslateQueuedMessage(message);
    DispatchQueuedMessage(message);
  }
  DestroyWindowObject(handle);
  return result;
}

bool EndDialogWith(WindowHandle dialog, intptr_t result) {
  bool modal = false;
  if (!posix::Modify(FromHandle(dialog), [&](posix::Window& w) {
        w.ended = true;
        w.end_result = result;
        modal = w.modal;
      })) {
    return false;
  }
  if (modal) {
    PostWindowMessage(dialog, WM_NULL, 0, 0);  // wake the modal loop
  } else {
    ShowWindowAs(dialog, SW_HIDE);
  }
  return true;
}

}  // namespace orvex::platform
