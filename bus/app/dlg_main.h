#pragma once
// DlgMain: the program's hidden main dialog. It owns the bus server and the
// notification-area icon, and doubles as the About box.
#include <cstdint>
#include <memory>

#include "bus/rtd_server.h"
#include "ui/c_system_tray.h"
#include "ui/ctrl_button.h"
#include "ui/ctrl_dialog.h"

namespace orvex {

// Owns the one bus server of the program.
struct ServerHolder {
  explicit ServerHolder(RtdServer::Options options)
      : server(std::make_unique<RtdServer>(std::move(options))) {}
  std::unique_ptr<RtdServer> server;
};

// Constructing the dialog starts the bus (the server thread runs from then on, before
// any window exists); destroying it stops the bus first ("Server shutting down" to every
// client, then the links close), then removes the icon, then the dialog itself.
// User-interface thread only.
class DlgMain : public ui::CtrlDialog {
 public:
  // Called for WM_QUERYENDSESSION / WM_ENDSESSION with the argument given with it.
  using SessionCallback = void (*)(intptr_t argument);

  static constexpr int kVersion[4] = {4, 6, 0, 460};

  explicit DlgMain(RtdServer::Options options = {},
                   platform::ModuleInstance module = platform::CurrentModule());
  ~DlgMain() override;

  // 17: shows the version in control 1031, sets the icons, adds the tray icon with the
  // tooltip "Orvex RTD Bus"; answers the tooltip's result.
  bool InitLayout() override;
  // 19: session-end callbacks before the base procedure; the tray's callback message
  // goes to OnTrayMessage only.
  intptr_t DialogProc(ui::MessageRecord& record) override;
  // 21: ends the message loop (WM_QUIT with 0).
  bool OnClose() override;
  // 22: IDOK and IDCANCEL hide the dialog (the window must outlive the About box: it is
  // how other programs and the icon reach the bus), 40003 closes, 40005 shows About.
  bool OnCommand(ui::MessageRecord& record) override;

  // 31-34: show the About box (the dialog itself), show or hide the dialog (answer:
  // whether it was visible before), and pass a tray notification to the icon.
  virtual bool ShowAbout();
  virtual bool ShowDialog();
  virtual bool HideDialog();
  virtual bool OnTrayMessage(platform::WParam wparam, platform::LParam lparam);

  void SetQueryEndSessionCallback(SessionCallback callback, intptr_t argument);
  void SetEndSessionCallback(SessionCallback callback, intptr_t argument);

  // Null once the dialog is being destroyed.
  RtdServer* server() const { return holder_ ? holder_->server.get() : nullptr; }
  ui::CSystemTray* tray() const { return tray_.get(); }

 private:
  ui::CtrlButton ok_button_;
  std::unique_ptr<ui::CSystemTray> tray_;
  std::unique_ptr<ServerHolder> holder_;
  platform::IconHandle large_icon_ = nullptr;
  platform::IconHandle small_icon_ = nullptr;
  SessionCallback query_end_session_ = nullptr;
  intptr_t query_end_session_argument_ = 0;
  SessionCallback end_session_ = nullptr;
  intptr_t end_session_argument_ = 0;
};

}  // namespace orvex
