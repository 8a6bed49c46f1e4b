#include "ui/c_system_tray.h"

#include <cstring>

#include "platform/window_messages.h"

namespace orvex::ui {

using namespace platform;

namespace {
// The instance the hidden window's procedure serves.
CSystemTray* served_tray = nullptr;

void CopyTip(char (&tip)[128], const char* text, size_t limit) {
  std::memset(tip, 0, sizeof tip);
  if (text != nullptr) std::strncpy(tip, text, limit);
}
}  // namespace

uint32_t TaskbarCreatedMessage() {
  static const uint32_t message = RegisterMessageName("TaskbarCreated");
  return message;
}

CSystemTray::CSystemTray() : CSystemTray(Shell{}) {}

CSystemTray::CSystemTray(const Shell& shell) : shell_(shell) {
  served_tray = this;
}

CSystemTray::~CSystemTray() {
  show_pending_ = false;
  if (enabled_ && !removed_) {
    record_.flags = 0;
    if (shell_.notify(NIM_DELETE, record_)) {
      removed_ = true;
      hidden_ = true;
    }
  }
  if (hidden_window_ != nullptr) DestroyWindowObject(hidden_window_);
  if (served_tray == this) served_tray = nullptr;
}

bool CSystemTray::Create(ModuleInstance module, WindowHandle notify, IconHandle icon) {
  enabled_ = shell_.major_version() >= 4;
  if (!enabled_) return false;
  module_ = module;
  RegisterWindowClass(module, kWindowClass, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, HiddenWindowProc);
  hidden_window_ = CreateTopLevelWindow(module, kWindowClass, "", WS_POPUP);
  record_.window = notify != nullptr ? notify : hidden_window_;
  record_.id = kIconId;
  record_.icon = icon;
  record_.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record_.callback_message = kCallbackMessage;
  CopyTip(record_.tip, "Corvane", kMaxTip - 1);
  hidden_ = false;
  target_window_ = record_.window;
  creation_flags_ = record_.flags;
  const bool added = shell_.notify(NIM_ADD, record_);
  removed_ = hidden_ = show_pending_ = !added;
  return added;
}

bool CSystemTray::SetTooltip(const char* text) {
  if (!enabled_) return false;
  record_.flags = NIF_TIP;
  CopyTip(record_.tip, text, kMaxTip - 1);
  if (hidden_) return true;
  return shell_.notify(NIM_MODIFY, record_);
}

// The shell restarted and forgot its icons: add ours again when it is meant to be
// shown, that is when it was shown or its adding is still pending.
void CSystemTray::OnTaskbarCreated() {
  if (!enabled_ || (hidden_ && !show_pending_)) return;
  record_.flags = creation_flags_;
  const bool added = shell_.notify(NIM_ADD, record_);
  hidden_ = removed_ = show_pending_ = !added;
}

LResult CSystemTray::HiddenWindowProc(WindowHandle window, uint32_t message, WParam wparam,
                                      LParam lparam) {
  CSystemTray* tray = served_tray;
  if (tray == nullptr || window != tray->hidden_window_) {
    return DefaultWindowProcedure(window, message, wparam, lparam);
  }
  if (message == TaskbarCreatedMessage()) {
    tray->OnTaskbarCreated();
    return 0;
  }
  if (message == kCallbackMessage) return tray->OnTrayNotification(wparam, lparam);
  return DefaultWindowProcedure(window, message, wparam, lparam);
}

uint32_t CSystemTray::DefaultCommand() {
  if (!default_by_position_) return default_item_;
  uint32_t command = 0;
  if (MenuHandle menu = LoadMenuResource(module_, kIconId)) {
    command = MenuItemCommand(SubMenuAt(menu, 0), static_cast<int>(default_item_));
    DestroyMenuObject(menu);
  }
  return command;
}

LResult CSystemTray::OnTrayNotification(WParam wparam, LParam lparam) {
  if (wparam != kIconId) return 0;
  const WindowHandle receiver = target_window_ != nullptr ? target_window_ : record_.window;
  if (receiver == nullptr) return 0;
  const uint16_t event = LOWORD(static_cast<uintptr_t>(lparam));
  if (event == WM_RBUTTONUP) {
    MenuHandle menu = LoadMenuResource(module_, kIconId);
    if (menu == nullptr) return 0;
    MenuHandle popup = SubMenuAt(menu, 0);
    if (popup == nullptr) {
      DestroyMenuObject(menu);
      return 0;
    }
    SetMenuDefault(popup, default_item_, default_by_position_);
    CustomizeMenu(popup);
    Point cursor;
    CursorPosition(&cursor);
    SetForeground(record_.window);
    TrackPopup(popup, cursor, receiver);
    // Lets the menu close when the user clicks elsewhere.
    PostWindowMessage(record_.window, WM_NULL, 0, 0);
    DestroyMenuObject(menu);
  } else if (event == WM_LBUTTONDBLCLK) {
    SetForeground(record_.window);
    PostWindowMessage(receiver, WM_COMMAND, DefaultCommand(), 0);
  }
  return 1;
}

void CSystemTray::CustomizeMenu(MenuHandle) {}

}  // namespace orvex::ui
