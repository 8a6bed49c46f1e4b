#include "bus/app/dlg_main.h"

#include <cstdio>

#include "platform/window_messages.h"
#include "resources/corvane_resources.h"

namespace orvex {

using namespace platform;

DlgMain::DlgMain(RtdServer::Options options, ModuleInstance module)
    : ui::CtrlDialog(resources::kMainDialogId, module),
      ok_button_(IDOK),
      tray_(std::make_unique<ui::CSystemTray>()) {
  AddChild(&ok_button_);
  holder_ = std::make_unique<ServerHolder>(std::move(options));
}

// The server goes first so clients hear "Server shutting down" while the icon still
// shows that the bus runs; the button and the base follow as members.
DlgMain::~DlgMain() {
  holder_.reset();
  tray_.reset();
}

bool DlgMain::InitLayout() {
  char version[100];
  std::snprintf(version, sizeof version, "%d.%d.%d.%d", kVersion[0], kVersion[1], kVersion[2],
                kVersion[3]);
  SetDialogItemTitle(window_, resources::kVersionTextId, version);
  large_icon_ = LoadIconResource(module_, resources::kLargeIconId);
  small_icon_ = LoadIconResource(module_, resources::kSmallIconId);
  SetIcon(large_icon_, true);
  if (tray_) tray_->Create(module_, window_, small_icon_);
  return tray_ && tray_->SetTooltip(resources::kMainDialogCaption);
}

intptr_t DlgMain::DialogProc(ui::MessageRecord& record) {
  switch (record.message) {
    case WM_QUERYENDSESSION:
      if (query_end_session_ != nullptr) query_end_session_(query_end_session_argument_);
      break;
    case WM_ENDSESSION:
      if (end_session_ != nullptr) end_session_(end_session_argument_);
      break;
    case ui::CSystemTray::kCallbackMessage:
      return OnTrayMessage(record.wparam, record.lparam);
    default:
      break;
  }
  return ui::CtrlDialog::DialogProc(record);
}

bool DlgMain::OnClose() {
  PostQuit(0);
  return true;
}

bool DlgMain::OnCommand(ui::MessageRecord& record) {
  switch (LOWORD(record.wparam)) {
    case IDOK:
      return HideDialog();
    case IDCANCEL:
      // Escape in the About box. The base would destroy the window, leaving a bus that
      // neither WM_CLOSE nor the icon's Exit can reach any more: hide it instead.
      return HideDialog();
    case resources::kExitCommand:
      return OnClose();
    case resources::kAboutCommand:
      return ShowAbout();
    default:
      return false;
  }
}

bool DlgMain::ShowAbout() {
  return ShowDialog();
}

bool DlgMain::ShowDialog() {
  return ShowWindowAs(window_, SW_SHOWNORMAL);
}

bool DlgMain::HideDialog() {
  return ShowWindowAs(window_, SW_HIDE);
}

bool DlgMain::OnTrayMessage(WParam wparam, LParam lparam) {
  return tray_ && tray_->OnTrayNotification(wparam, lparam) != 0;
}

void DlgMain::SetQueryEndSessionCallback(SessionCallback callback, intptr_t argument) {
  query_end_session_ = callback;
  query_end_session_argument_ = argument;
}

void DlgMain::SetEndSessionCallback(SessionCallback callback, intptr_t argument) {
  end_session_ = callback;
  end_session_argument_ = argument;
}

}  // namespace orvex
