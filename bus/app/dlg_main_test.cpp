// The main dialog in this process: its initialisation, its commands, the session-end
// callbacks, the tray's callback message and the order of its destruction.
#include "bus/app/dlg_main.h"

#include <gtest/gtest.h>

#include "bus/app/corvane_main_steps.h"
#include "client/bus_client.h"
#include "platform/registry_sandbox.h"
#include "platform/window_messages.h"
#include "resources/corvane_resources.h"
#include "tests/support/child_process.h"
#include "ui/sf_win_app.h"
#include "ui/window_registry.h"

namespace orvex {
namespace {

using namespace platform;

class DlgMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resources::InstallCorvaneResources();
    RtdServer::Options options;
    options.base_name = base_;
    options.shutdown_grace_ms = 50;
    dialog_ = std::make_unique<DlgMain>(std::move(options));
    window_ = CreateMainDialog(*dialog_);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    dialog_.reset();
    if (window_ != nullptr && IsWindowAlive(window_)) DestroyWindowObject(window_);
  }
  // Ends the loop with a command posted after everything queued so far.
  int RunUntilExit() {
    PostWindowMessage(window_, WM_COMMAND, resources::kExitCommand, 0);
    return ui::SfWinApp().RunDialogLoop(dialog_.get());
  }

  std::string base_ = test::UniqueName("Local\\DlgMain");
  std::unique_ptr<DlgMain> dialog_;
  WindowHandle window_ = nullptr;
};

TEST_F(DlgMainTest, CreatedHiddenWithItsCaptionVersionAndIcon) {
  EXPECT_EQ(dialog_->window(), window_);
  EXPECT_EQ(WindowText(window_), "Orvex RTD Bus");
  // The template's own text is replaced, whatever it was.
  EXPECT_EQ(DialogItemTitle(window_, resources::kVersionTextId), "4.6.0.460");
  EXPECT_FALSE(IsWindowShown(window_));
  EXPECT_NE(dialog_->GetIcon(true), nullptr);
  EXPECT_NE(dialog_->server(), nullptr);
  EXPECT_TRUE(dialog_->server()->listening());
}

TEST_F(DlgMainTest, AboutShowsTheDialogAndOkHidesItAgainAnyNumberOfTimes) {
  for (int round = 0; round < 2; ++round) {
    SendWindowMessage(window_, WM_COMMAND, resources::kAboutCommand, 0);
    EXPECT_TRUE(IsWindowShown(window_)) << round;
    SendWindowMessage(window_, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindowShown(window_)) << round;
    // Hiding is not closing: the window and its wrapper stay.
    EXPECT_TRUE(IsWindowAlive(window_));
    EXPECT_EQ(ui::WindowRegistry::Instance().Find(window_), dialog_.get());
  }
}

// Escape (IDCANCEL) in the About box only hides it: a destroyed main window would leave
// a bus that nothing can close.
TEST_F(DlgMainTest, CancelHidesTheAboutBoxAndKeepsTheWindow) {
  SendWindowMessage(window_, WM_COMMAND, resources::kAboutCommand, 0);
  ASSERT_TRUE(IsWindowShown(window_));
  SendWindowMessage(window_, WM_COMMAND, IDCANCEL, 0);
  EXPECT_FALSE(IsWindowShown(window_));
  ASSERT_TRUE(IsWindowAlive(window_));
  EXPECT_EQ(ui::WindowRegistry::Instance().Find(window_), dialog_.get());
  // Still reachable: Exit ends the loop.
  EXPECT_EQ(RunUntilExit(), 0);
}

TEST_F(DlgMainTest, ExitAndCloseEndTheLoopWithZeroAndLeaveTheWindow) {
  EXPECT_EQ(RunUntilExit(), 0);
  EXPECT_TRUE(IsWindowAlive(window_));
  PostWindowMessage(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(ui::SfWinApp().RunDialogLoop(dialog_.get()), 0);
  EXPECT_TRUE(IsWindowAlive(window_));
  EXPECT_NE(dialog_->server(), nullptr);
}

TEST_F(DlgMainTest, UnknownCommandsAreNotHandled) {
  ui::MessageRecord record{window_, WM_COMMAND, 40004, 0, {0, 0, 0}};
  EXPECT_FALSE(dialog_->OnCommand(record));
  EXPECT_FALSE(IsWindowShown(window_));
}

intptr_t query_argument = -1;
intptr_t end_argument = -1;

TEST_F(DlgMainTest, SessionEndCallbacksGetTheirOwnArguments) {
  query_argument = end_argument = -1;
  SendWindowMessage(window_, WM_QUERYENDSESSION, 0, 0);
  SendWindowMessage(window_, WM_ENDSESSION, 1, 0);
  EXPECT_EQ(query_argument, -1);  // nothing set: nothing called
  dialog_->SetQueryEndSessionCallback([](intptr_t a) { query_argument = a; }, 5);
  dialog_->SetEndSessionCallback([](intptr_t a) { end_argument = a; }, 9);
  SendWindowMessage(window_, WM_QUERYENDSESSION, 0, 0);
  EXPECT_EQ(query_argument, 5);
  EXPECT_EQ(end_argument, -1);
  SendWindowMessage(window_, WM_ENDSESSION, 1, 0);
  EXPECT_EQ(end_argument, 9);
}

TEST_F(DlgMainTest, TrayCallbacksGoToTheIconOnly) {
  // Another icon's callback is ignored.
  EXPECT_EQ(SendWindowMessage(window_, ui::CSystemTray::kCallbackMessage, 105, WM_LBUTTONDBLCLK),
            0);
  // A double click on ours runs the menu's default command, About, where a shell shows
  // icons; without one the icon was never created and nothing happens.
  SendWindowMessage(window_, ui::CSystemTray::kCallbackMessage, ui::CSystemTray::kIconId,
                    WM_LBUTTONDBLCLK);
  EXPECT_EQ(RunUntilExit(), 0);
  EXPECT_EQ(IsWindowShown(window_), dialog_->tray()->enabled());
}

TEST_F(DlgMainTest, DestructionTellsClientsBeforeTheLinksClose) {
  client::BusClient client;
  ASSERT_TRUE(client.Connect(base_, client::LinkKind::kV2));
  RegisterReply reply;
  ASSERT_TRUE(client.RegisterAndWait("S", "sub", false, true, &reply));
  dialog_.reset();
  client::BusReceived received;
  ASSERT_TRUE(client.ReceiveCode(3, &received, 5000));
  EXPECT_EQ(received.text, "Server shutting down");
  // The wrapper is gone from the registry with the dialog object.
  EXPECT_EQ(ui::WindowRegistry::Instance().Find(window_), nullptr);
  client::BusClient late;
  EXPECT_FALSE(late.Connect(base_, client::LinkKind::kV2, 300));
}

TEST(CorvaneAddIn, FileNameFollowsExcelBitness) {
  EXPECT_EQ(AddInFileName(64), "KelRTDAddIn_x64.xll");
  EXPECT_EQ(AddInFileName(32), "KelRTDAddIn.xll");
  EXPECT_EQ(AddInFileName(0), "KelRTDAddIn.xll");
}

TEST(CorvaneAddIn, PathIsBesideTheProgram) {
  RegistrySandbox sandbox;  // no Excel registered: not 64-bit
  ASSERT_TRUE(sandbox.ok());
  const std::string self = CurrentExecutablePath();
  const std::string path = AddInPath("KelRTDAddIn.xll");
  const size_t cut = self.find_last_of("/\\") + 1;
  EXPECT_EQ(path.substr(0, cut), self.substr(0, cut));
  EXPECT_EQ(path.substr(cut), "KelRTDAddIn.xll");
}

}  // namespace
}  // namespace orvex
