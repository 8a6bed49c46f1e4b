// Closing and detecting programs and Excel, against stand-in programs run as real
// processes: windows of the right class or title, copies under the right module names,
// one that ignores WM_CLOSE, and a log of the messages each got.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "system/program_control.h"
#include "system/testing/test_scratch.h"
#include "system/window_enumerators.h"

namespace orvex::test {
namespace {

using namespace system;

std::string StandinPath(const std::string& name) {
  return JoinPath(JoinPath(GetModuleFolder(), "standins"), name + (WindowsBackend() ? ".exe" : ""));
}

std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Window {
  std::string window_class;
  std::string title;
};

// One stand-in process; killed at the end of the test if it still runs.
class Standin {
 public:
  Standin(const ScratchFolder& dir, const std::string& program, const std::vector<Window>& windows,
          bool ignore_close = false)
      : log_(dir / UniqueName("log")) {
    const std::string ready = dir / UniqueName("ready");
    std::vector<std::string> args{"--log", log_, "--ready", ready};
    for (const Window& w : windows) args.insert(args.end(), {"--window", w.window_class, w.title});
    if (ignore_close) args.push_back("--ignore-close");
    process_ = platform::SpawnProcess(StandinPath(program), args);
    const uint32_t start = platform::TickCount();
    while (process_ != nullptr && !FileExists(ready) && platform::TickCount() - start < 15000) {
      platform::SleepMs(20);
    }
    started_ = FileExists(ready);
  }
  ~Standin() {
    if (process_ == nullptr) return;
    if (Running()) platform::KillProcess(process_);
    platform::CloseProcess(process_);
  }
  bool started() const { return started_; }
  bool Running() { return !platform::WaitProcess(process_, 0, nullptr); }
  bool Ended(uint32_t timeout_ms) { return platform::WaitProcess(process_, timeout_ms, nullptr); }
  // A process drops out of the process list while it is still exiting, a moment before
  // its parent can collect it: a program the close reported gone ends within this.
  bool EndedAfterClose() { return Ended(2000); }
  std::vector<std::string> Log() const { return LogLines(log_); }

 private:
  std::string log_;
  platform::ProcessObject* process_ = nullptr;
  bool started_ = false;
};

// Natively the window table is private to each test (the process list cannot be), so
// other test runs on the machine never see our windows nor we theirs.
class ProgramControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (WindowsBackend()) return;
    runtime_ = "/tmp/orvex-sys-" + std::to_string(platform::CurrentProcessId());
    std::filesystem::create_directories(runtime_);
    platform::SetEnvVar("XDG_RUNTIME_DIR", runtime_.c_str());
  }
  static void TearDownTestSuite() {
    if (runtime_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
  }
  // Another run's program of that module name would make the outcome not ours.
  void RequireNotRunning(const char* module) {
    if (IsProcessRunning(module)) GTEST_SKIP() << module << " of another run is running";
  }

  static inline std::string runtime_;
  ScratchFolder dir_;
};

uint32_t Elapsed(uint32_t start) {
  return platform::TickCount() - start;
}

TEST_F(ProgramControlTest, WithoutTheProcessEveryCloseAnswersAtOnceAndSendsNothing) {
  for (const char* module :
       {kDravikModule, kCorvaneModule, kTavBusAppModule, kTavPublisherModule, kTavWatchdogModule}) {
    RequireNotRunning(module);
  }
  // The titles are there, but under another program's name.
  Standin other(dir_, "system_standin",
                {{"StandinWindow", "Dravik"},
                 {"StandinWindow", "Orvex RTD Bus 4.6"},
                 {"StandinWindow", "Orvex Tav Bus"},
                 {"StandinWindow", "Tav Publisher"},
                 {"StandinWindow", "Orvex Watchdog"}});
  ASSERT_TRUE(other.started());
  const uint32_t start = platform::TickCount();
  EXPECT_TRUE(CloseDravikAndWait());
  EXPECT_TRUE(CloseCorvaneAndWait(5000));
  EXPECT_TRUE(CloseTavBusAppAndWait(5000));
  EXPECT_TRUE(CloseTavPublisherAndWait(5000));
  EXPECT_TRUE(CloseTavWatchdogAndWait());
  EXPECT_LT(Elapsed(start), 2000u);
  EXPECT_TRUE(other.Log().empty());
  EXPECT_TRUE(other.Running());
}

TEST_F(ProgramControlTest, ModuleNamesCompareWithoutCaseAndWholly) {
  RequireNotRunning(kDravikModule);
  Standin dravik(dir_, "Dravik", {{"StandinWindow", "Dravik - session"}});
  ASSERT_TRUE(dravik.started());
  EXPECT_TRUE(IsProcessRunning("Dravik.exe"));
  EXPECT_TRUE(IsProcessRunning("DRAVIK.EXE"));
  EXPECT_FALSE(IsProcessRunning("Dravik.ex"));
  EXPECT_FALSE(IsProcessRunning("Dravi"));
  EXPECT_FALSE(IsProcessRunning("Dravik.exe.exe"));
  EXPECT_FALSE(IsProcessRunning(""));
  // POSIX programs have no extension: the same name finds the native `dravik`.
  if (!WindowsBackend()) {
    EXPECT_TRUE(IsProcessRunning("dravik"));
  }
}

TEST_F(ProgramControlTest, EachProgramIsClosedThroughItsTitleAndAwaited) {
  for (const char* module : {kDravikModule, kTavBusAppModule, kTavWatchdogModule}) {
    RequireNotRunning(module);
  }
  Standin dravik(dir_, "Dravik", {{"StandinWindow", "Dravik - session"}});
  Standin bus(dir_, "TavBusAppW", {{"StandinWindow", "Orvex Tav Bus"}});
  Standin watchdog(dir_, "TavWatchdogW", {{"StandinWindow", "Tav Watchdog 3"}});
  ASSERT_TRUE(dravik.started() && bus.started() && watchdog.started());
  EXPECT_TRUE(CloseDravikAndWait());
  EXPECT_TRUE(dravik.EndedAfterClose());
  EXPECT_EQ(dravik.Log(), std::vector<std::string>{"WM_CLOSE Dravik - session"});
  EXPECT_FALSE(IsProcessRunning(kDravikModule));
  EXPECT_TRUE(bus.Running());
  EXPECT_TRUE(CloseTavBusAppAndWait(5000));
  EXPECT_TRUE(bus.EndedAfterClose());
  EXPECT_TRUE(CloseTavWatchdogAndWait());
  EXPECT_TRUE(watchdog.EndedAfterClose());
  EXPECT_EQ(watchdog.Log(), std::vector<std::string>{"WM_CLOSE Tav Watchdog 3"});
}

TEST_F(ProgramControlTest, PublisherGetsQueryEndSessionThenClose) {
  RequireNotRunning(kTavPublisherModule);
  Standin publisher(dir_, "TavPublisher",
                    {{"StandinWindow", "Tav Publisher 2.1"}, {"StandinWindow", "Tav Publisher B"}});
  ASSERT_TRUE(publisher.started());
  TavPublisherQuitEnumerator once;
  once.Run();
  const std::vector<std::string> log = publisher.Log();
  ASSERT_EQ(log.size(), 2u);  // one window only, both messages, in this order
  EXPECT_TRUE(log[0].starts_with("WM_QUERYENDSESSION Tav Publisher "));
  EXPECT_EQ(log[1], "WM_CLOSE" + log[0].substr(std::string("WM_QUERYENDSESSION").size()));
  EXPECT_TRUE(CloseTavPublisherAndWait(5000));
  EXPECT_TRUE(publisher.EndedAfterClose());
  EXPECT_EQ(publisher.Log().size(), 4u);
}

TEST_F(ProgramControlTest, ProgramIgnoringCloseIsLeftRunningAfterTheLimit) {
  RequireNotRunning(kCorvaneModule);
  Standin stubborn(dir_, "Corvane", {{"StandinWindow", "Orvex RTD Bus 4.6"}}, true);
  ASSERT_TRUE(stubborn.started());
  const uint32_t start = platform::TickCount();
  EXPECT_FALSE(CloseCorvaneAndWait(700));
  const uint32_t elapsed = Elapsed(start);
  EXPECT_GE(elapsed, 700u);
  EXPECT_LT(elapsed, 3000u);
  EXPECT_TRUE(stubborn.Running());
  EXPECT_TRUE(IsProcessRunning(kCorvaneModule));
  EXPECT_EQ(stubborn.Log(), std::vector<std::string>{"WM_CLOSE Orvex RTD Bus 4.6"});
}

TEST_F(ProgramControlTest, BusEnumeratorClosesOneMatchPerRunAndCaseCounts) {
  Standin windows(dir_, "system_standin",
                  {{"StandinWindow", "Orvex RTD Bus 4.6"},
                   {"StandinWindow", "Orvex RTD Bus"},
                   {"StandinWindow", "orvex rtd bus 4.6"},
                   {"StandinWindow", "Palomir RTD Bus 3"},
                   {"StandinWindow", "The Orvex RTD Bus"}});
  ASSERT_TRUE(windows.started());
  CorvaneQuitEnumerator enumerator;
  for (size_t run = 1; run <= 3; ++run) {
    enumerator.Run();
    EXPECT_EQ(windows.Log().size(), run) << "one window per run";
  }
  enumerator.Run();
  std::vector<std::string> log = windows.Log();
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (std::vector<std::string>{"WM_CLOSE Orvex RTD Bus", "WM_CLOSE Orvex RTD Bus 4.6",
                                           "WM_CLOSE Palomir RTD Bus 3"}));
  EXPECT_TRUE(windows.Running());  // the other two windows are still open
}

TEST_F(ProgramControlTest, ExcelWindowsMatchInAnyCapitals) {
  Standin lower(dir_, "system_standin", {{"xlmain", "Book1"}});
  Standin upper(dir_, "system_standin", {{"XLMAIN", "Book2"}});
  Standin others(dir_, "system_standin", {{"XLMAIN2", "Book3"}, {"NotXLMAIN", "Book4"}});
  ASSERT_TRUE(lower.started() && upper.started() && others.started());
  EXPECT_EQ(CountExcelWindows(), 2);
  EXPECT_TRUE(lower.Log().empty());
  const uint32_t start = platform::TickCount();
  EXPECT_EQ(QuitExcelAndWait(15000), 1);
  EXPECT_LT(Elapsed(start), 3000u);
  EXPECT_EQ(lower.Log(), std::vector<std::string>{"WM_CLOSE Book1"});
  EXPECT_EQ(upper.Log(), std::vector<std::string>{"WM_CLOSE Book2"});
  EXPECT_TRUE(others.Log().empty());
  EXPECT_EQ(CountExcelWindows(), 0);
  EXPECT_TRUE(lower.Ended(5000));
  EXPECT_EQ(QuitExcelOnce(), 1);
}

TEST_F(ProgramControlTest, ExcelThatStaysOpenAnswersZeroAndIsAskedOncePerCall) {
  Standin excel(dir_, "system_standin", {{"XLMAIN", "Book1"}}, true);
  ASSERT_TRUE(excel.started());
  uint32_t start = platform::TickCount();
  EXPECT_EQ(QuitExcelAndWait(0), 0);
  EXPECT_LT(Elapsed(start), 1000u);
  start = platform::TickCount();
  EXPECT_EQ(QuitExcelAndWait(700), 0);
  const uint32_t elapsed = Elapsed(start);
  EXPECT_GE(elapsed, 700u);
  EXPECT_LT(elapsed, 3000u);
  EXPECT_EQ(excel.Log(), (std::vector<std::string>{"WM_CLOSE Book1", "WM_CLOSE Book1"}));
  EXPECT_TRUE(excel.Running());
  EXPECT_EQ(CountExcelWindows(), 1);
}

}  // namespace
}  // namespace orvex::test
