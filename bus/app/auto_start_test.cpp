// The auto-start launch against a private registry: what it starts, what it logs, and
// what it leaves alone.
#include "bus/app/auto_start.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"
#include "tests/support/child_process.h"
#include "threading/trace.h"
#include "transport/named_event.h"

namespace orvex {
namespace {

// Stands in for a publisher: appends one line to the file named by its argument.
ORVEX_CHILD_ROLE(record_start) {
  if (args.empty()) return 2;
  std::ofstream(args[0], std::ios::app) << "started\n";
  return 0;
}

// The slow publisher sits beside this test.
std::string SlowPublisherPath() {
  const std::string self = platform::CurrentExecutablePath();
  return self.substr(0, self.find_last_of("/\\") + 1) + SLOW_PUBLISHER_FILE_NAME;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AutoStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.ok());
    marker_ = (std::filesystem::temp_directory_path() / test::UniqueName("autostart")).string();
    // A line of our own, so "nothing logged" can be seen.
    BusLog().Append("before launch");
  }
  void TearDown() override { std::filesystem::remove(marker_); }
  static void SetCommand(const std::string& command_line) {
    const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString(kAutoStartValue, command_line));
  }
  std::string SelfCommand() const {
    return "\"" + platform::CurrentExecutablePath() + "\" --orvex-child record_start \"" + marker_ +
           "\"";
  }

  platform::RegistrySandbox sandbox_;
  std::string marker_;
};

TEST_F(AutoStartTest, WithoutKeyOrValueNothingIsLaunchedOrLogged) {
  EXPECT_FALSE(LaunchAutoStartPublisher());
  EXPECT_EQ(TheTraceRecord().text, "before launch");
  ASSERT_TRUE(SfRegKeyPath(RegRoot::kCurrentUser, kAutoStartKey).Create());
  EXPECT_FALSE(LaunchAutoStartPublisher());
  EXPECT_EQ(TheTraceRecord().text, "before launch");
}

TEST_F(AutoStartTest, StartsTheConfiguredCommandLineAndLogsSuccess) {
  SetCommand(SelfCommand());
  EXPECT_TRUE(LaunchAutoStartPublisher());
  EXPECT_EQ(TheTraceRecord().text, "Success");
  const uint32_t start = platform::TickCount();
  while (ReadAll(marker_).empty() && platform::TickCount() - start < 20000) platform::SleepMs(20);
  EXPECT_EQ(ReadAll(marker_), "started\n");
}

// The launch runs on the server thread: it must return while the program is still
// coming up, or heartbeats, routing and the program's own handshake would wait for it.
TEST_F(AutoStartTest, TheLaunchReturnsWithoutWaitingForTheProgram) {
  const std::string go = test::UniqueName("Local\\OrvexAutoStartGo");
  platform::EventObject* release = MakeNamedEvent(go, false);
  SetCommand("\"" + SlowPublisherPath() + "\" \"" + marker_ + "\" \"" + go + "\"");
  EXPECT_TRUE(LaunchAutoStartPublisher());
  // Released only once the launch has returned.
  platform::SetEvent(release);
  const uint32_t start = platform::TickCount();
  while (ReadAll(marker_).empty() && platform::TickCount() - start < 30000) platform::SleepMs(20);
  platform::CloseEvent(release);
  EXPECT_EQ(ReadAll(marker_), "started\n");
}

TEST_F(AutoStartTest, AProgramThatCannotStartIsLoggedAsFailed) {
  SetCommand("orvex-no-such-publisher-program --flag");
  EXPECT_FALSE(LaunchAutoStartPublisher());
  EXPECT_EQ(TheTraceRecord().text, "Failed");
}

TEST_F(AutoStartTest, AValueLongerThanTheBufferIsNotRead) {
  SetCommand(SelfCommand() + " " + std::string(1100, 'x'));
  EXPECT_FALSE(LaunchAutoStartPublisher());
  EXPECT_EQ(TheTraceRecord().text, "before launch");
  platform::SleepMs(200);
  EXPECT_EQ(ReadAll(marker_), "");
}

}  // namespace
}  // namespace orvex
