#include "rtd/com/notify_window.h"

#include <atomic>

namespace orvex::rtd {

namespace {

constexpr UINT kNotifyMessage = WM_APP + 0x52;
// Windows of all servers in the process share the class; the last one unregisters it
// so the DLL can unload cleanly.
std::atomic<int> g_windows{0};

}  // namespace

bool NotifyWindow::Create(HINSTANCE module, std::function<void()> on_post) {
  if (hwnd_) return false;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &NotifyWindow::Procedure;
  wc.hInstance = module;
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  ++g_windows;
  module_ = module;
  on_post_ = std::move(on_post);
  hwnd_ =
      CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
  if (!hwnd_) {
    if (--g_windows == 0) UnregisterClassW(kClassName, module_);
    return false;
  }
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

void NotifyWindow::Destroy() {
  if (!hwnd_) return;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  on_post_ = nullptr;
  if (--g_windows == 0) UnregisterClassW(kClassName, module_);
}

void NotifyWindow::Post() const {
  if (hwnd_) PostMessageW(hwnd_, kNotifyMessage, 0, 0);
}

LRESULT CALLBACK NotifyWindow::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kNotifyMessage) {
    auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // A copy: the callee may destroy this window (ServerTerminate inside UpdateNotify).
    if (self && self->on_post_) std::function<void()>(self->on_post_)();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace orvex::rtd
