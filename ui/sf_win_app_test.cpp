// A hidden dialog run by SfWinApp in a child process, driven from this process the way
// other programs drive the bus's main window: show, hide, close.
#include "ui/sf_win_app.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/input_idle.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "tests/support/child_process.h"
#include "ui/ctrl_button.h"
#include "ui/testing/test_dialogs.h"

namespace orvex::ui {
namespace {

using namespace platform;

constexpr WParam kShow = 40005;
constexpr int kQuitCode = 5;

// Shaped like the program's main dialog: closing quits the loop, a command shows it,
// OK hides it again instead of ending it.
class HiddenMainDialog : public CtrlDialog {
 public:
  HiddenMainDialog() : CtrlDialog(904) { AddChild(&ok_); }
  bool OnClose() override {
    PostQuit(kQuitCode);
    return true;
  }
  bool OnCommand(MessageRecord& record) override {
    switch (LOWORD(record.wparam)) {
      case IDOK:
        ShowWindowAs(window_, SW_HIDE);
        return true;
      case kShow:
        ShowWindowAs(window_, SW_SHOWNORMAL);
        return true;
      default:
        return CtrlDialog::OnCommand(record);
    }
  }

 private:
  CtrlButton ok_{10};
};

ORVEX_CHILD_ROLE(hidden_dialog_app) {
  if (args.empty()) return 90;
  DialogTemplate dialog = test::LayoutDialog();
  dialog.caption = args[0].c_str();
  HiddenMainDialog main;
  if (main.CreateFromTemplate(dialog, nullptr) == nullptr) return 91;
  ShowWindowAs(main.window(), SW_SHOWMINNOACTIVE);
  ShowWindowAs(main.window(), SW_HIDE);
  SfWinApp app;
  const int result = app.RunDialogLoop(&main);
  return main.window() != nullptr && IsWindowAlive(main.window()) ? result : 92;
}

WindowHandle WaitForDialog(const std::string& title) {
  const uint32_t start = TickCount();
  while (TickCount() - start < 20000) {
    if (WindowHandle found = FindTopLevelWindow("#32770", title.c_str())) return found;
    SleepMs(20);
  }
  return nullptr;
}

TEST(SfWinAppLoop, AHiddenDialogIsShownHiddenAndClosedFromAnotherProcess) {
  const std::string title = orvex::test::UniqueName("Orvex hidden dialog");
  ProcessObject* child = orvex::test::SpawnChild("hidden_dialog_app", {title});
  ASSERT_NE(child, nullptr);
  const WindowHandle dialog = WaitForDialog(title);
  ASSERT_NE(dialog, nullptr);
  // The dialog can be found between its minimised show and its hide: the child hides it
  // before its loop starts, so once the loop waits for input the hide has happened.
  EXPECT_TRUE(WaitForInputIdleOf(ProcessId(child), 20000));
  EXPECT_FALSE(IsWindowShown(dialog));
  SendWindowMessage(dialog, WM_COMMAND, kShow, 0);
  EXPECT_TRUE(IsWindowShown(dialog));
  SendWindowMessage(dialog, WM_COMMAND, static_cast<WParam>(IDOK), 0);
  EXPECT_FALSE(IsWindowShown(dialog));
  EXPECT_TRUE(IsWindowAlive(dialog));

  SendWindowMessage(dialog, WM_CLOSE, 0, 0);
  int exit_code = -1;
  EXPECT_TRUE(WaitProcess(child, 20000, &exit_code));
  EXPECT_EQ(exit_code, kQuitCode);
  if (exit_code == -1) KillProcess(child);
  CloseProcess(child);
}

TEST(SfWinAppLoop, RunLoopAnswersTheQuitCode) {
  PostQuit(17);
  SfWinApp app;
  EXPECT_EQ(app.RunLoop(), 17);
}

}  // namespace
}  // namespace orvex::ui
