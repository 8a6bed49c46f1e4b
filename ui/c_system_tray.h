#pragma once
// CSystemTray: the program's notification-area icon, its pop-up menu and the double
// click that runs the menu's default command.
#include <cstdint>

#include "platform/notify_icon.h"
#include "platform/window.h"
#include "platform/window_resources.h"

namespace orvex::ui {

// The number registered for "TaskbarCreated" (the shell's restart broadcast); the first
// call registers it.
uint32_t TaskbarCreatedMessage();

// On shells older than version 4 the icon is never shown and every operation does
// nothing and answers false or 0. User-interface thread only; one instance serves the
// hidden window at a time (the latest constructed).
class CSystemTray {
 public:
  static constexpr uint32_t kIconId = 104;                   // also the pop-up menu's resource id
  static constexpr uint32_t kCallbackMessage = 0x8000 + 10;  // WM_APP+10
  static constexpr const char* kWindowClass = "TrayIconClass";
  static constexpr size_t kMaxTip = 128;

  // The shell calls, replaceable so the icon's logic can be checked without a shell.
  struct Shell {
    int (*major_version)() = platform::ShellMajorVersion;
    bool (*notify)(uint32_t operation,
                   const platform::NotifyIconRecord& record) = platform::ShellNotifyIcon;
  };

  CSystemTray();
  explicit CSystemTray(const Shell& shell);
  // Removes the icon (if shown) and destroys the hidden window.
  virtual ~CSystemTray();
  CSystemTray(const CSystemTray&) = delete;
  CSystemTray& operator=(const CSystemTray&) = delete;

  // 1: a callback message from the shell: right button up shows the pop-up menu,
  // double click posts the default command to the target window. 0 when ignored.
  virtual platform::LResult OnTrayNotification(platform::WParam wparam, platform::LParam lparam);
  // 2: hook called with the pop-up sub-menu before it is shown.
  virtual void CustomizeMenu(platform::MenuHandle menu);

  // Creates the hidden window and adds the icon; `notify` (or, when null, the hidden
  // window) receives the callback messages. Returns whether the shell added the icon.
  bool Create(platform::ModuleInstance module, platform::WindowHandle notify,
              platform::IconHandle icon);
  // Sets the tooltip (cut to 127 characters); true without a shell call while hidden.
  bool SetTooltip(const char* text);

  const platform::NotifyIconRecord& record() const { return record_; }
  platform::WindowHandle hidden_window() const { return hidden_window_; }
  bool enabled() const { return enabled_; }
  bool hidden() const { return hidden_; }
  bool removed() const { return removed_; }
  bool show_pending() const { return show_pending_; }

 private:
  static platform::LResult HiddenWindowProc(platform::WindowHandle window, uint32_t message,
                                            platform::WParam wparam, platform::LParam lparam);
  void OnTaskbarCreated();
  uint32_t DefaultCommand();

  Shell shell_;
  platform::NotifyIconRecord record_;
  platform::ModuleInstance module_ = nullptr;
  platform::WindowHandle hidden_window_ = nullptr;
  platform::WindowHandle target_window_ = nullptr;
  bool enabled_ = false;
  bool hidden_ = true;
  bool removed_ = true;
  bool show_pending_ = false;
  uint32_t default_item_ = 0;
  bool default_by_position_ = true;
  uint32_t creation_flags_ = 0;
};

}  // namespace orvex::ui
