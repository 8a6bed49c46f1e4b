// Top-level windows seen by other processes: a child process owns a window, this test
// finds it by title, messages it, closes it, and kills an owner.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "platform/input_idle.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/window_messages.h"
#include "tests/support/child_process.h"

namespace orvex::ui {
namespace {

using namespace platform;

constexpr char kClass[] = "OrvexTableTestWindow";
constexpr uint32_t kDouble = WM_USER + 1;   // answers wParam * 2
constexpr uint32_t kRetitle = WM_USER + 2;  // renames the window to "renamed <wParam>"

LResult OwnerProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case kDouble:
      return static_cast<LResult>(wparam * 2);
    case kRetitle:
      return SetWindowTitle(window, "renamed " + std::to_string(wparam));
    case WM_DESTROY:
      PostQuit(7);
      return 0;
    default:
      return DefaultWindowProcedure(window, message, wparam, lparam);
  }
}

// Owns one window titled args[0] and runs a message loop until WM_QUIT.
ORVEX_CHILD_ROLE(window_owner) {
  if (args.empty() || !RegisterWindowClass(CurrentModule(), kClass, 0, OwnerProc)) return 90;
  if (CreateTopLevelWindow(CurrentModule(), kClass, args[0].c_str(), WS_POPUP) == nullptr) {
    return 91;
  }
  QueuedMessage message;
  int got = 0;
  while ((got = GetNextMessage(&message)) > 0) DispatchQueuedMessage(message);
  return got == 0 ? static_cast<int>(message.wparam) : 92;
}

// Shows a message box with caption args[0] and exits with its answer.
ORVEX_CHILD_ROLE(message_box_owner) {
  if (args.empty()) return 90;
  return ShowMessageBox(nullptr, "Instance of Corvane is already running", args[0].c_str(), MB_OK);
}

WindowHandle WaitForWindow(const char* window_class, const std::string& title) {
  const uint32_t start = TickCount();
  while (TickCount() - start < 20000) {
    if (WindowHandle found = FindTopLevelWindow(window_class, title.c_str())) return found;
    SleepMs(20);
  }
  return nullptr;
}

class WindowTableTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (child != nullptr) {
      KillProcess(child);
      CloseProcess(child);
    }
  }
  ProcessObject* child = nullptr;
};

TEST_F(WindowTableTest, AnotherProcessesWindowIsFoundMessagedAndClosed) {
  const std::string title = test::UniqueName("Orvex window table");
  child = test::SpawnChild("window_owner", {title});
  ASSERT_NE(child, nullptr);
  const WindowHandle window = WaitForWindow(kClass, title);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowText(window), title);
  EXPECT_EQ(WindowClassName(window), kClass);
  EXPECT_EQ(WindowProcessId(window), ProcessId(child));
  EXPECT_TRUE(IsWindowAlive(window));

  bool listed = false;
  EXPECT_TRUE(EnumerateTopLevelWindows([&](WindowHandle each) {
    listed = listed || each == window;
    return !listed;
  }));
  EXPECT_TRUE(listed);

  // A sent message is answered by the owner's loop, with its result.
  EXPECT_EQ(SendWindowMessage(window, kDouble, 21, 0), 42);
  // Text messages are copied across processes; other processes may not post them.
  const char remote[] = "set from afar";
  EXPECT_NE(SendWindowMessage(window, WM_SETTEXT, 0, reinterpret_cast<LParam>(remote)), 0);
  EXPECT_EQ(WindowText(window), "set from afar");
  char buffer[6] = {};
  EXPECT_EQ(SendWindowMessage(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LParam>(buffer)),
            5);
  EXPECT_STREQ(buffer, "set f");
  EXPECT_EQ(SendWindowMessage(window, WM_GETTEXTLENGTH, 0, 0), 13);
  EXPECT_FALSE(PostWindowMessage(window, WM_SETTEXT, 0, reinterpret_cast<LParam>(remote)));

  EXPECT_EQ(SendWindowMessage(window, kRetitle, 5, 0), 1);
  EXPECT_EQ(WindowText(window), "renamed 5");
  EXPECT_EQ(FindTopLevelWindow(nullptr, title.c_str()), nullptr);

  SendWindowMessage(window, WM_CLOSE, 0, 0);
  int exit_code = -1;
  ASSERT_TRUE(WaitProcess(child, 20000, &exit_code));
  EXPECT_EQ(exit_code, 7);
  EXPECT_FALSE(IsWindowAlive(window));
  EXPECT_EQ(FindTopLevelWindow(kClass, "renamed 5"), nullptr);
}

TEST_F(WindowTableTest, APostedCloseEndsTheOwnersLoopToo) {
  const std::string title = test::UniqueName("Orvex posted close");
  child = test::SpawnChild("window_owner", {title});
  ASSERT_NE(child, nullptr);
  const WindowHandle window = WaitForWindow(kClass, title);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(PostWindowMessage(window, WM_CLOSE, 0, 0));
  int exit_code = -1;
  ASSERT_TRUE(WaitProcess(child, 20000, &exit_code));
  EXPECT_EQ(exit_code, 7);
}

// A window exists before its owner is ready for input; waiting for input idle waits for
// the owner's message loop, however long its start-up takes. The owner is the window
// stand-in, built as a GUI program beside this test.
TEST_F(WindowTableTest, InputIdleComesWithTheOwnersMessageLoopNotWithItsWindow) {
  const std::string title = test::UniqueName("Orvex input idle");
  const auto ready = std::filesystem::temp_directory_path() / test::UniqueName("orvex_ready");
  const std::string self = CurrentExecutablePath();
  const std::string standin = self.substr(0, self.find_last_of("/\\") + 1) + "gui_standin" +
                              (self.ends_with(".exe") ? ".exe" : "");
  child = SpawnProcess(standin, {"--window", kClass, title, "--start-after", ready.string()});
  ASSERT_NE(child, nullptr) << standin;
  const WindowHandle window = WaitForWindow(kClass, title);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(WaitForInputIdleOf(ProcessId(child), 300));
  std::ofstream(ready).put('\n');
  EXPECT_TRUE(WaitForInputIdleOf(ProcessId(child), 30000));
  // Idle: its loop takes messages now.
  PostWindowMessage(window, WM_CLOSE, 0, 0);
  int code = -1;
  EXPECT_TRUE(WaitProcess(child, 20000, &code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(WaitForInputIdleOf(ProcessId(child), 300)) << "an ended process is never idle";
  std::filesystem::remove(ready);
}

// A console program that runs a window loop (this test binary as a child) has no idle
// event on Windows: the wait falls back on its window and loop, and ends as the loop takes
// messages, not at once with a failure.
TEST_F(WindowTableTest, InputIdleOfAConsoleProgramComesWithItsLoop) {
  const std::string title = test::UniqueName("Orvex console idle");
  child = test::SpawnChild("window_owner", {title});
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(WaitForInputIdleOf(ProcessId(child), 30000));
  const WindowHandle window = FindTopLevelWindow(kClass, title.c_str());
  ASSERT_NE(window, nullptr);
  // Idle: the window answers at once.
  EXPECT_EQ(SendWindowMessage(window, kDouble, 21, 0), 42);
  PostWindowMessage(window, WM_CLOSE, 0, 0);
  int code = -1;
  EXPECT_TRUE(WaitProcess(child, 20000, &code));
  EXPECT_EQ(code, 7);
  EXPECT_FALSE(WaitForInputIdleOf(ProcessId(child), 300)) << "an ended process is never idle";
}

TEST_F(WindowTableTest, AKilledOwnersWindowDisappears) {
  const std::string title = test::UniqueName("Orvex killed owner");
  child = test::SpawnChild("window_owner", {title});
  ASSERT_NE(child, nullptr);
  const WindowHandle window = WaitForWindow(kClass, title);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(KillProcess(child));
  // The system may take a moment to clean up after the owner.
  const uint32_t start = TickCount();
  while (IsWindowAlive(window) && TickCount() - start < 10000) SleepMs(20);
  EXPECT_FALSE(IsWindowAlive(window));
  EXPECT_EQ(FindTopLevelWindow(kClass, title.c_str()), nullptr);
  EXPECT_EQ(WindowText(window), "");
  EXPECT_FALSE(PostWindowMessage(window, kDouble, 1, 0));
  EXPECT_EQ(SendWindowMessage(window, kDouble, 1, 0), 0);
}

TEST_F(WindowTableTest, AMessageBoxIsAWindowAnotherProcessCanClose) {
  const std::string caption = test::UniqueName("Corvane");
  child = test::SpawnChild("message_box_owner", {caption});
  ASSERT_NE(child, nullptr);
  const WindowHandle box = WaitForWindow("#32770", caption);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), caption);
  PostWindowMessage(box, WM_CLOSE, 0, 0);
  int exit_code = -1;
  ASSERT_TRUE(WaitProcess(child, 20000, &exit_code));
  EXPECT_EQ(exit_code, IDCANCEL);  // closing is cancelling, even with only an OK button
}

TEST_F(WindowTableTest, AMessageBoxAnswersTheButtonAnotherProcessPresses) {
  const std::string caption = test::UniqueName("Corvane");
  child = test::SpawnChild("message_box_owner", {caption});
  ASSERT_NE(child, nullptr);
  const WindowHandle box = WaitForWindow("#32770", caption);
  ASSERT_NE(box, nullptr);
  PostWindowMessage(box, WM_COMMAND, static_cast<WParam>(IDOK), 0);
  int exit_code = -1;
  ASSERT_TRUE(WaitProcess(child, 20000, &exit_code));
  EXPECT_EQ(exit_code, IDOK);
}

TEST(WindowTable, NamedMessagesAgreeAcrossCallsAndIgnoreCase) {
  const uint32_t first = RegisterMessageName("OrvexTestMessage");
  EXPECT_GE(first, 0xC000u);
  EXPECT_EQ(RegisterMessageName("OrvexTestMessage"), first);
  EXPECT_EQ(RegisterMessageName("orvextestmessage"), first);
  EXPECT_EQ(RegisterMessageName(""), 0u);
}

}  // namespace
}  // namespace orvex::ui
