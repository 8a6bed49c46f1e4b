// Starting programs: by command line (with its length limit and failure line), through
// the command interpreter and through the shell. The started program is this test
// binary in the "touch" role, which writes its arguments into a file.
#include "system/program_launch.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "system/testing/test_scratch.h"

namespace orvex::test {
namespace {

using namespace system;

// Writes the arguments after the file name, joined by "|", into the file.
ORVEX_CHILD_ROLE(touch) {
  if (args.empty()) return 2;
  std::string text;
  for (size_t i = 1; i < args.size(); ++i) text += (i > 1 ? "|" : "") + args[i];
  return system::WriteNewFile(args[0], text) ? 0 : 3;
}

bool WaitForFile(const std::string& path, uint32_t timeout_ms = 15000) {
  const uint32_t start = platform::TickCount();
  while (!FileExists(path)) {
    if (platform::TickCount() - start >= timeout_ms) return false;
    platform::SleepMs(20);
  }
  platform::SleepMs(50);  // the writer's one write has landed by now
  return true;
}

std::string TouchLine(const std::string& file) {
  return "\"" + GetModulePath() + "\" --orvex-child touch " + file;
}

TEST(LaunchProcessTest, StartsWithApplicationOrFromTheCommandLineInTheGivenFolder) {
  ScratchFolder dir;
  ASSERT_TRUE(LaunchProcess(GetModulePath(), "", TouchLine(dir / "a.txt") + " \"two words\" x"));
  ASSERT_TRUE(WaitForFile(dir / "a.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "a.txt"), "two words|x");
  // Without an application the command line's first token is the program; a relative
  // file name lands in the given current directory.
  ASSERT_TRUE(LaunchProcess("", dir.path(), TouchLine("rel.txt") + " y"));
  ASSERT_TRUE(WaitForFile(dir / "rel.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "rel.txt"), "y");
}

TEST(LaunchProcessTest, CommandLineOf260CharactersIsRefusedAnd259Start) {
  ScratchFolder dir;
  const std::string base = TouchLine(dir / "long.txt") + " ";
  ASSERT_LT(base.size(), 250u);
  const std::string longest = base + std::string(kMaxLaunchCommandLine - base.size(), 'p');
  ASSERT_EQ(longest.size(), 259u);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LaunchProcess("", "", longest + "p"));
  EXPECT_FALSE(LaunchProcess("", "", longest + std::string(5000, 'p')));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  platform::SleepMs(300);
  EXPECT_FALSE(FileExists(dir / "long.txt"));
  ASSERT_TRUE(LaunchProcess("", "", longest));
  ASSERT_TRUE(WaitForFile(dir / "long.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "long.txt").size(), 259 - base.size());
}

TEST(LaunchProcessTest, FailurePrintsTheSystemMessage) {
  ScratchFolder dir;
  const std::string missing = dir / "missing.exe";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LaunchProcess(missing, "", "\"" + missing + "\" x"));
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(printed.starts_with("\nCreateProcess failed (CreateProcess failed with error 2: "))
      << printed;
  EXPECT_TRUE(printed.ends_with(")")) << printed;
  EXPECT_GT(printed.size(),
            std::string("\nCreateProcess failed (CreateProcess failed with error 2: )").size());
  // A current directory that does not exist fails the start as well.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LaunchProcess("", dir / "no-such-dir", TouchLine(dir / "never.txt")));
  EXPECT_TRUE(testing::internal::GetCapturedStdout().starts_with("\nCreateProcess failed ("));
  platform::SleepMs(300);
  EXPECT_FALSE(FileExists(dir / "never.txt"));
}

TEST(RunCommandScriptTest, RunsTheCommandThroughTheInterpreter) {
  ScratchFolder dir;
  ASSERT_TRUE(RunCommandScript(TouchLine(dir / "script.txt") + " via-interpreter", dir.path()));
  ASSERT_TRUE(WaitForFile(dir / "script.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "script.txt"), "via-interpreter");
}

TEST(StartCommandTest, QuotesTrimsAndStartsThroughTheShell) {
  ScratchFolder dir;
  ASSERT_TRUE(StartCommand(" \t" + GetModulePath() + "  ",
                           " \r\n--orvex-child touch " + (dir / "plain.txt") + " p \t\r\n"));
  ASSERT_TRUE(WaitForFile(dir / "plain.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "plain.txt"), "p");
  // An already quoted command is used as it is.
  ASSERT_TRUE(StartCommand("\"" + GetModulePath() + "\"",
                           "--orvex-child touch " + (dir / "quoted.txt") + " q"));
  ASSERT_TRUE(WaitForFile(dir / "quoted.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "quoted.txt"), "q");
  EXPECT_FALSE(StartCommand(" \t\r\n", "anything"));
  EXPECT_FALSE(StartCommand(dir / "missing-program.exe", ""));
}

}  // namespace
}  // namespace orvex::test
