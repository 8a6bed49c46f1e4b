// Dialogs from resources and from in-memory templates (DLGTEMPLATE built here).
#include <windows.h>

#include <vector>

#include "platform/resource_table.h"
#include "platform/window.h"

namespace orvex::platform {

namespace {

HWND Native(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}
WindowHandle Wrap(HWND window) {
  return reinterpret_cast<WindowHandle>(window);
}

// The procedure of the dialog being created, until WM_INITDIALOG files it under the
// dialog (messages such as WM_SETFONT arrive before that).
thread_local DialogProcedure pending_procedure = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto procedure = reinterpret_cast<DialogProcedure>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (procedure == nullptr) {
    procedure = pending_procedure;
    if (procedure == nullptr) return FALSE;
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(procedure));
    }
  }
  return procedure(Wrap(dialog), message, wparam, lparam);
}

class PendingProcedure {
 public:
  explicit PendingProcedure(DialogProcedure procedure) : previous_(pending_procedure) {
    pending_procedure = procedure;
  }
  ~PendingProcedure() { pending_procedure = previous_; }

 private:
  DialogProcedure previous_;
};

void AppendText(std::vector<WORD>* words, const char* text) {
  const char* source = text == nullptr ? "" : text;
  const int n = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, source, -1, wide.data(), n);
  for (wchar_t c : wide) words->push_back(static_cast<WORD>(c));
}

void AppendDword(std::vector<WORD>* words, DWORD value) {
  words->push_back(LOWORD(value));
  words->push_back(HIWORD(value));
}

// Lays the template out as the system reads it: header, menu, class, title, font,
// then each item aligned on a 4-byte boundary.
std::vector<WORD> BuildTemplate(const DialogTemplate& dialog) {
  std::vector<WORD> words;
  AppendDword(&words, dialog.style);
  AppendDword(&words, 0);
  words.push_back(static_cast<WORD>(dialog.control_count));
  for (int16_t v : {dialog.x, dialog.y, dialog.cx, dialog.cy})
    words.push_back(static_cast<WORD>(v));
  words.push_back(0);  // no menu
  words.push_back(0);  // the standard dialog class
  AppendText(&words, dialog.caption);
  if ((dialog.style & DS_SETFONT) != 0) {
    words.push_back(dialog.point_size);
    AppendText(&words, dialog.font);
  }
  for (size_t i = 0; i < dialog.control_count; ++i) {
    const DialogControlTemplate& control = dialog.controls[i];
    if (words.size() % 2 != 0) words.push_back(0);
    AppendDword(&words, control.style | WS_CHILD | WS_VISIBLE);
    AppendDword(&words, 0);
    for (int16_t v : {control.x, control.y, control.cx, control.cy}) {
      words.push_back(static_cast<WORD>(v));
    }
    words.push_back(static_cast<WORD>(control.id));
    AppendText(&words, control.window_class);
    AppendText(&words, control.text);
    words.push_back(0);  // no creation data
  }
  return words;
}

}  // namespace

WindowHandle CreateDialogFromResource(ModuleInstance module, int template_id, WindowHandle parent,
                                      DialogProcedure procedure, LParam param) {
  PendingProcedure pending(procedure);
  return Wrap(CreateDialogParamA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(template_id),
                                 Native(parent), DialogTrampoline, param));
}

WindowHandle CreateDialogFromTemplate(ModuleInstance module, const DialogTemplate& dialog,
                                      WindowHandle parent, DialogProcedure procedure,
                                      LParam param) {
  const std::vector<WORD> words = BuildTemplate(dialog);
  PendingProcedure pending(procedure);
  return Wrap(CreateDialogIndirectParamA(reinterpret_cast<HINSTANCE>(module),
                                         reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
                                         Native(parent), DialogTrampoline, param));
}

intptr_t RunModalDialogFromTemplate(ModuleInstance module, const DialogTemplate& dialog,
                                    WindowHandle parent, DialogProcedure procedure, LParam param) {
  const std::vector<WORD> words = BuildTemplate(dialog);
  PendingProcedure pending(procedure);
  return DialogBoxIndirectParamA(reinterpret_cast<HINSTANCE>(module),
                                 reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), Native(parent),
                                 DialogTrampoline, param);
}

bool EndDialogWith(WindowHandle dialog, intptr_t result) {
  return EndDialog(Native(dialog), result) != FALSE;
}

}  // namespace orvex::platform
