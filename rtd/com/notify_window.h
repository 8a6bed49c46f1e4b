#pragma once
// A hidden message-only window on Excel's thread: the bus link's thread posts to it,
// and its procedure runs the notification on the thread that created it. Windows only.
#include <windows.h>

#include <functional>

namespace orvex::rtd {

class NotifyWindow {
 public:
  NotifyWindow() = default;
  ~NotifyWindow() { Destroy(); }
  NotifyWindow(const NotifyWindow&) = delete;
  NotifyWindow& operator=(const NotifyWindow&) = delete;

  // Creates the window on the calling thread; `on_post` runs there for every Post that
  // arrives before Destroy. False when the window could not be made.
  bool Create(HINSTANCE module, std::function<void()> on_post);
  // Creator's thread; posts that have not arrived yet are dropped with the window.
  void Destroy();
  // Any thread.
  void Post() const;
  HWND hwnd() const { return hwnd_; }

  // The window class's name, for tests that look for leftover windows.
  static constexpr const wchar_t* kClassName = L"OrvexKelRTDNotify";

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  HINSTANCE module_ = nullptr;
  std::function<void()> on_post_;
};

}  // namespace orvex::rtd
