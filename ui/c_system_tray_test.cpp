// The notification-area icon's logic against a recording shell, and its old-shell mode.
#include "ui/c_system_tray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/window_messages.h"
#include "resources/corvane_resources.h"
#include "ui/testing/test_dialogs.h"

namespace orvex::ui {
namespace {

using namespace platform;

struct ShellLog {
  int version = 5;
  bool answer = true;
  std::vector<std::pair<uint32_t, NotifyIconRecord>> calls;
};
ShellLog& Log() {
  static ShellLog log;
  return log;
}
int FakeVersion() {
  return Log().version;
}
bool FakeNotify(uint32_t operation, const NotifyIconRecord& record) {
  Log().calls.emplace_back(operation, record);
  return Log().answer;
}

std::vector<std::pair<WParam, LParam>>& Commands() {
  static std::vector<std::pair<WParam, LParam>> commands;
  return commands;
}
LResult TargetProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (message == WM_COMMAND) Commands().emplace_back(wparam, lparam);
  return DefaultWindowProcedure(window, message, wparam, lparam);
}

class SystemTrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log() = ShellLog{};
    Commands().clear();
    resources::InstallCorvaneResources();
    ASSERT_TRUE(RegisterWindowClass(CurrentModule(), "OrvexTrayTarget", 0, TargetProc));
    target = CreateTopLevelWindow(CurrentModule(), "OrvexTrayTarget", "tray target", WS_POPUP);
    ASSERT_NE(target, nullptr);
    icon = LoadIconResource(CurrentModule(), resources::kSmallIconId);
  }
  void TearDown() override { DestroyWindowObject(target); }
  static CSystemTray::Shell Fake() {
    CSystemTray::Shell shell;
    shell.major_version = FakeVersion;
    shell.notify = FakeNotify;
    return shell;
  }
  WindowHandle target = nullptr;
  IconHandle icon = nullptr;
};

TEST_F(SystemTrayTest, AnOldShellMakesEveryOperationANoOp) {
  Log().version = 3;
  {
    CSystemTray tray(Fake());
    EXPECT_FALSE(tray.Create(CurrentModule(), target, icon));
    EXPECT_FALSE(tray.enabled());
    EXPECT_EQ(tray.hidden_window(), nullptr);
    EXPECT_FALSE(tray.SetTooltip("Orvex RTD Bus"));
    EXPECT_EQ(tray.OnTrayNotification(CSystemTray::kIconId, WM_LBUTTONDBLCLK), 0);
  }
  EXPECT_TRUE(Log().calls.empty());
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SystemTrayTest, CreateAddsTheIconForTheNotifiedWindow) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
  ASSERT_EQ(Log().calls.size(), 1u);
  const auto& [operation, record] = Log().calls[0];
  EXPECT_EQ(operation, NIM_ADD);
  EXPECT_EQ(record.window, target);
  EXPECT_EQ(record.id, 104u);
  EXPECT_EQ(record.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  EXPECT_EQ(record.callback_message, 32778u);
  EXPECT_EQ(record.icon, icon);
  EXPECT_STREQ(record.tip, "Corvane");
  EXPECT_FALSE(tray.hidden());
  EXPECT_FALSE(tray.removed());
  EXPECT_FALSE(tray.show_pending());
  EXPECT_EQ(WindowClassName(tray.hidden_window()), "TrayIconClass");
}

TEST_F(SystemTrayTest, WithoutANotifiedWindowTheHiddenWindowIsNotified) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), nullptr, icon));
  EXPECT_EQ(tray.record().window, tray.hidden_window());
  // The hidden window passes its callback message to the tray.
  EXPECT_EQ(SendWindowMessage(tray.hidden_window(), CSystemTray::kCallbackMessage, 105, 0), 0);
  EXPECT_EQ(SendWindowMessage(tray.hidden_window(), CSystemTray::kCallbackMessage, 104, 0x200), 1);
}

TEST_F(SystemTrayTest, TooltipIsCutTo127Characters) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
  const std::string long_text(200, 'x');
  EXPECT_TRUE(tray.SetTooltip(long_text.c_str()));
  ASSERT_EQ(Log().calls.size(), 2u);
  EXPECT_EQ(Log().calls[1].first, NIM_MODIFY);
  EXPECT_EQ(Log().calls[1].second.flags, NIF_TIP);
  EXPECT_EQ(std::string(Log().calls[1].second.tip), std::string(127, 'x'));
  EXPECT_TRUE(tray.SetTooltip("Orvex RTD Bus"));
  EXPECT_STREQ(Log().calls[2].second.tip, "Orvex RTD Bus");
}

TEST_F(SystemTrayTest, AFailedAddLeavesTheIconHiddenAndTooltipsNeedNoShell) {
  Log().answer = false;
  CSystemTray tray(Fake());
  EXPECT_FALSE(tray.Create(CurrentModule(), target, icon));
  EXPECT_TRUE(tray.hidden());
  EXPECT_TRUE(tray.removed());
  EXPECT_TRUE(tray.show_pending());
  EXPECT_TRUE(tray.SetTooltip("Orvex RTD Bus"));
  EXPECT_EQ(Log().calls.size(), 1u);
}

TEST_F(SystemTrayTest, ACallbackForAnotherIconIsIgnored) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
  EXPECT_EQ(tray.OnTrayNotification(105, WM_LBUTTONDBLCLK), 0);
  test::PumpUntil([] { return false; }, 30);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(SystemTrayTest, DoubleClickPostsTheDefaultCommandAbout) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
  EXPECT_EQ(tray.OnTrayNotification(CSystemTray::kIconId, WM_LBUTTONDBLCLK), 1);
  ASSERT_TRUE(test::PumpUntil([] { return !Commands().empty(); }, 5000));
  EXPECT_EQ(Commands()[0].first, resources::kAboutCommand);
  EXPECT_EQ(Commands()[0].second, 0);
}

TEST_F(SystemTrayTest, TaskbarCreatedAddsTheIconAgainWithItsCreationFlags) {
  CSystemTray tray(Fake());
  ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
  tray.SetTooltip("Orvex RTD Bus");
  SendWindowMessage(tray.hidden_window(), TaskbarCreatedMessage(), 0, 0);
  ASSERT_EQ(Log().calls.size(), 3u);
  EXPECT_EQ(Log().calls[2].first, NIM_ADD);
  EXPECT_EQ(Log().calls[2].second.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  EXPECT_STREQ(Log().calls[2].second.tip, "Orvex RTD Bus");
}

TEST_F(SystemTrayTest, TaskbarCreatedRetriesAnAddThatFailed) {
  Log().answer = false;
  CSystemTray tray(Fake());
  EXPECT_FALSE(tray.Create(CurrentModule(), target, icon));
  Log().answer = true;
  SendWindowMessage(tray.hidden_window(), TaskbarCreatedMessage(), 0, 0);
  ASSERT_EQ(Log().calls.size(), 2u);
  EXPECT_FALSE(tray.hidden());
  EXPECT_FALSE(tray.removed());
  EXPECT_FALSE(tray.show_pending());
}

TEST_F(SystemTrayTest, DestructionRemovesTheIconAndTheHiddenWindow) {
  WindowHandle hidden = nullptr;
  {
    CSystemTray tray(Fake());
    ASSERT_TRUE(tray.Create(CurrentModule(), target, icon));
    hidden = tray.hidden_window();
  }
  ASSERT_EQ(Log().calls.size(), 2u);
  EXPECT_EQ(Log().calls[1].first, NIM_DELETE);
  EXPECT_EQ(Log().calls[1].second.flags, 0u);
  EXPECT_EQ(Log().calls[1].second.id, 104u);
  EXPECT_FALSE(IsWindowAlive(hidden));

  // An icon that was never added is not deleted.
  Log() = ShellLog{};
  Log().answer = false;
  {
    CSystemTray tray(Fake());
    tray.Create(CurrentModule(), target, icon);
  }
  EXPECT_EQ(Log().calls.size(), 1u);
}

TEST(TaskbarCreated, IsARegisteredMessageNumber) {
  EXPECT_EQ(TaskbarCreatedMessage(), RegisterMessageName("TaskbarCreated"));
  EXPECT_GE(TaskbarCreatedMessage(), 0xC000u);
  EXPECT_NE(TaskbarCreatedMessage(), RegisterMessageName("SomethingElse"));
}

}  // namespace
}  // namespace orvex::ui
