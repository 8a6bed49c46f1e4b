#include "platform/window.h"

#include <windows.h>

#include "window_classes.h"

namespace orvex::platform {

namespace {

HWND Native(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}
WindowHandle Wrap(HWND window) {
  return reinterpret_cast<WindowHandle>(window);
}

// Every class registered here has this procedure; the class's own procedure is kept
// in the first extra word of each window, found by class name on the window's first
// message (which may come before WM_CREATE).
LRESULT CALLBACK ClassTrampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto procedure = reinterpret_cast<WindowProcedure>(GetWindowLongPtrA(window, 0));
  if (procedure == nullptr) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    procedure = window_classes::Find(name);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(procedure));
  }
  if (procedure == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  return procedure(Wrap(window), message, wparam, lparam);
}

const char kSubclassProperty[] = "OrvexSubclass";

LRESULT CALLBACK SubclassTrampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto procedure = reinterpret_cast<WindowProcedure>(GetPropA(window, kSubclassProperty));
  if (procedure == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  return procedure(Wrap(window), message, wparam, lparam);
}

BOOL CALLBACK EnumerateOne(HWND window, LPARAM context) {
  const auto& visit = *reinterpret_cast<const std::function<bool(WindowHandle)>*>(context);
  return visit(Wrap(window)) ? TRUE : FALSE;
}

MSG ToNative(const QueuedMessage& message) {
  MSG native{};
  native.hwnd = Native(message.window);
  native.message = message.message;
  native.wParam = message.wparam;
  native.lParam = message.lparam;
  native.time = static_cast<DWORD>(GetMessageTime());
  const DWORD position = GetMessagePos();
  native.pt.x = static_cast<short>(LOWORD(position));
  native.pt.y = static_cast<short>(HIWORD(position));
  return native;
}

}  // namespace

ModuleInstance CurrentModule() {
  return reinterpret_cast<ModuleInstance>(GetModuleHandleA(nullptr));
}

bool RegisterWindowClass(ModuleInstance module, const char* class_name, uint32_t class_style,
                         WindowProcedure procedure) {
  if (class_name == nullptr || procedure == nullptr) return false;
  bool added = false;
  if (!window_classes::Add(class_name, procedure, &added)) return false;
  if (!added) return true;  // registered with the system already
  WNDCLASSA window_class{};
  window_class.style = class_style;
  window_class.lpfnWndProc = ClassTrampoline;
  window_class.cbWndExtra = sizeof(LONG_PTR);
  window_class.hInstance = reinterpret_cast<HINSTANCE>(module);
  window_class.lpszClassName = class_name;
  return RegisterClassA(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowHandle CreateTopLevelWindow(ModuleInstance module, const char* class_name, const char* title,
                                  uint32_t style) {
  return Wrap(CreateWindowExA(0, class_name, title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                              reinterpret_cast<HINSTANCE>(module), nullptr));
}

bool DestroyWindowObject(WindowHandle window) {
  return DestroyWindow(Native(window)) != FALSE;
}
bool IsWindowAlive(WindowHandle window) {
  return IsWindow(Native(window)) != FALSE;
}
bool ShowWindowAs(WindowHandle window, int show_command) {
  return ShowWindow(Native(window), show_command) != FALSE;
}
bool IsWindowShown(WindowHandle window) {
  return IsWindowVisible(Native(window)) != FALSE;
}

std::string WindowText(WindowHandle window) {
  char text[1024] = {};
  const int n = GetWindowTextA(Native(window), text, sizeof text);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

bool SetWindowTitle(WindowHandle window, const std::string& text) {
  return SetWindowTextA(Native(window), text.c_str()) != FALSE;
}

std::string WindowClassName(WindowHandle window) {
  char name[256] = {};
  const int n = GetClassNameA(Native(window), name, sizeof name);
  return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

uint32_t WindowProcessId(WindowHandle window) {
  DWORD pid = 0;
  return GetWindowThreadProcessId(Native(window), &pid) != 0 ? pid : 0;
}

WindowHandle FindTopLevelWindow(const char* class_name, const char* title) {
  return Wrap(FindWindowA(class_name, title));
}

bool EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
  EnumWindows(EnumerateOne, reinterpret_cast<LPARAM>(&visit));
  return true;  // EnumWindows also answers FALSE when the visitor stopped it
}

LResult SendWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return SendMessageA(Native(window), message, wparam, lparam);
}

bool PostWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return PostMessageA(Native(window), message, wparam, lparam) != FALSE;
}

LResult DefaultWindowProcedure(WindowHandle window, uint32_t message, WParam wparam,
                               LParam lparam) {
  return DefWindowProcA(Native(window), message, wparam, lparam);
}

uint32_t RegisterMessageName(const char* name) {
  return RegisterWindowMessageA(name);
}

int GetNextMessage(QueuedMessage* message) {
  MSG native{};
  const BOOL got = GetMessageA(&native, nullptr, 0, 0);
  if (got == -1) return -1;
  *message = QueuedMessage{Wrap(native.hwnd), native.message, native.wParam, native.lParam};
  return got != 0 ? 1 : 0;
}

void TranslateQueuedMessage(const QueuedMessage& message) {
  const MSG native = ToNative(message);
  TranslateMessage(&native);
}

LResult DispatchQueuedMessage(const QueuedMessage& message) {
  const MSG native = ToNative(message);
  return DispatchMessageA(&native);
}

bool IsDialogQueuedMessage(WindowHandle dialog, const QueuedMessage& message) {
  MSG native = ToNative(message);
  return IsDialogMessageA(Native(dialog), &native) != FALSE;
}

void PostQuit(int exit_code) {
  PostQuitMessage(exit_code);
}

void* SubclassWindow(WindowHandle window, WindowProcedure procedure) {
  if (!SetPropA(Native(window), kSubclassProperty, reinterpret_cast<HANDLE>(procedure))) {
    return nullptr;
  }
  return reinterpret_cast<void*>(SetWindowLongPtrA(Native(window), GWLP_WNDPROC,
                                                   reinterpret_cast<LONG_PTR>(SubclassTrampoline)));
}

LResult CallSavedProcedure(void* saved, WindowHandle window, uint32_t message, WParam wparam,
                           LParam lparam) {
  if (saved == nullptr) return 0;
  return CallWindowProcA(reinterpret_cast<WNDPROC>(saved), Native(window), message, wparam, lparam);
}

WindowHandle DialogItem(WindowHandle dialog, int control_id) {
  return Wrap(GetDlgItem(Native(dialog), control_id));
}
int ControlId(WindowHandle window) {
  return GetDlgCtrlID(Native(window));
}
bool SetDialogItemTitle(WindowHandle dialog, int control_id, const std::string& text) {
  return SetDlgItemTextA(Native(dialog), control_id, text.c_str()) != FALSE;
}
std::string DialogItemTitle(WindowHandle dialog, int control_id) {
  char text[1024] = {};
  const UINT n = GetDlgItemTextA(Native(dialog), control_id, text, sizeof text);
  return std::string(text, n);
}

bool SetFocusTo(WindowHandle window) {
  SetFocus(Native(window));
  return IsWindow(Native(window)) != FALSE;
}
bool SetForeground(WindowHandle window) {
  return SetForegroundWindow(Native(window)) != FALSE;
}

bool ClientRect(WindowHandle window, Rect* rect) {
  RECT native{};
  if (!GetClientRect(Native(window), &native)) return false;
  *rect = Rect{native.left, native.top, native.right, native.bottom};
  return true;
}

bool ChildRectInParent(WindowHandle child, Rect* rect) {
  RECT native{};
  if (!GetWindowRect(Native(child), &native)) return false;
  MapWindowPoints(HWND_DESKTOP, GetParent(Native(child)), reinterpret_cast<POINT*>(&native), 2);
  *rect = Rect{native.left, native.top, native.right, native.bottom};
  return true;
}

bool MoveWindowTo(WindowHandle window, const Rect& rect, bool repaint) {
  return MoveWindow(Native(window), rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, repaint ? TRUE : FALSE) != FALSE;
}

bool ResizeClientArea(WindowHandle window, int32_t width, int32_t height) {
  RECT outer{0, 0, width, height};
  const auto style = static_cast<DWORD>(GetWindowLongA(Native(window), GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongA(Native(window), GWL_EXSTYLE));
  if (!AdjustWindowRectEx(&outer, style, FALSE, ex_style)) return false;
  return SetWindowPos(Native(window), nullptr, 0, 0, outer.right - outer.left,
                      outer.bottom - outer.top,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool RedrawWhole(WindowHandle window) {
  return RedrawWindow(Native(window), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE) != FALSE;
}

uint32_t WindowStyle(WindowHandle window) {
  return static_cast<uint32_t>(GetWindowLongA(Native(window), GWL_STYLE));
}
bool SetWindowStyle(WindowHandle window, uint32_t style) {
  SetLastError(ERROR_SUCCESS);
  return SetWindowLongA(Native(window), GWL_STYLE, static_cast<LONG>(style)) != 0 ||
         GetLastError() == ERROR_SUCCESS;
}

bool CursorPosition(Point* point) {
  POINT native{};
  if (!GetCursorPos(&native)) return false;
  *point = Point{native.x, native.y};
  return true;
}

void RouteTerminationSignals(WindowHandle) {}

}  // namespace orvex::platform
