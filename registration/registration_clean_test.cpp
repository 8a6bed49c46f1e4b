#include "platform/clock.h"
#include "registration/logon_entries.h"
#include "registration/sf_reg_util_v2.h"
#include "registration/testing/registration_flow_fixture.h"
#include "system/program_control.h"

namespace orvex::registration_test {
namespace {

namespace flows = SfRegUtil_V2;

// A window stand-in of the system tests, copied under a product module name, running
// as a real process with one top-level window; killed at the end if it still runs.
class WindowStandin {
 public:
  WindowStandin(const fs::path& dir, const std::string& module, const char* window_class,
                const char* title, bool ignore_close = false)
      : ready_((dir / test::UniqueName("ready")).string()) {
    const std::string program = (fs::path(STANDIN_DIR) / module).string() + STANDIN_SUFFIX;
    std::vector<std::string> args{"--window", window_class, title,  "--ready",
                                  ready_,     "--life-ms",  "40000"};
    if (ignore_close) args.push_back("--ignore-close");
    process_ = platform::SpawnProcess(program, args);
    const uint32_t start = platform::TickCount();
    while (process_ && !fs::exists(ready_) && platform::TickCount() - start < 15000) {
      platform::SleepMs(20);
    }
  }
  ~WindowStandin() {
    if (!process_) return;
    if (!Ended()) platform::KillProcess(process_);
    platform::CloseProcess(process_);
  }
  bool started() const { return process_ && fs::exists(ready_); }
  bool Ended() { return platform::WaitProcess(process_, 0, nullptr); }

 private:
  std::string ready_;
  platform::ProcessObject* process_ = nullptr;
};

using RegistrationCleanTest = RegistrationFlowTest;

TEST_F(RegistrationCleanTest, CleanStopsTheProgramsAndExcelThenDropsTheProduct) {
  ASSERT_TRUE(flows::Rtd_Register(true, product_, false));
  ASSERT_TRUE(flows::TavXL_Register(true, product_, false, false));
  ASSERT_TRUE(flows::IsRegisteredForAllUsers());
  WindowStandin bus(dir_, "Corvane", "#32770", "Orvex RTD Bus");
  WindowStandin watchdog(dir_, "TavWatchdogW", "Watchdog", "Tav Watchdog");
  WindowStandin publisher(dir_, "TavPublisher", "Publisher", "Tav Publisher 2");
  WindowStandin tav_bus(dir_, "TavBusAppW", "TavBus", "Orvex Tav Bus");
  WindowStandin excel(dir_, "Dravik", "XLMAIN", "Book1");
  for (WindowStandin* program : {&bus, &watchdog, &publisher, &tav_bus, &excel}) {
    ASSERT_TRUE(program->started());
  }
  ASSERT_TRUE(system::IsProcessRunning("Corvane.exe"));

  EXPECT_TRUE(flows::Clean());
  for (WindowStandin* program : {&bus, &watchdog, &publisher, &tav_bus, &excel}) {
    EXPECT_TRUE(program->Ended());
  }
  EXPECT_FALSE(system::IsProcessRunning("TavWatchdogW.exe"));
  EXPECT_FALSE(flows::IsRegisteredForAllUsers());
  EXPECT_FALSE(flows::IsRegistered(false));
  // The user's cleanup entries went with the all-users product; the copy waits for
  // the user's own clean-up run.
  EXPECT_EQ(Written(), Lines{});
  EXPECT_TRUE(fs::exists(CleanupCopyPath()));
}

TEST_F(RegistrationCleanTest, AnExcelThatStaysFailsCleanButTheProductIsDroppedAnyway) {
  ASSERT_TRUE(flows::TavXL_Register(true, product_, false, true));
  WindowStandin excel(dir_, "Dravik", "XLMAIN", "Book1", true);
  ASSERT_TRUE(excel.started());
  EXPECT_FALSE(flows::Clean()) << "Excel is still open after 15 s";
  EXPECT_FALSE(excel.Ended());
  EXPECT_FALSE(flows::IsRegistered(false)) << "every step ran";
  EXPECT_EQ(Written(), Lines{});
}

TEST_F(RegistrationCleanTest, StopAllAnswersTrueWhenNothingRuns) {
  EXPECT_TRUE(flows::StopAll());
}

}  // namespace
}  // namespace orvex::registration_test
