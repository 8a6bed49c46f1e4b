// The program's own command line and starting a program with a command-line tail: the
// tail a child is started with is the tail it reads back, on both backends, with
// blanks, empty quotes and quotes inside tokens; its output lands in the named file.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/child_process.h"

namespace orvex::platform {
namespace {

// Prints its own command line to standard output.
ORVEX_CHILD_ROLE(print_command_line) {
  UseBinaryStandardOutput();
  const std::string line = ProcessCommandLine();
  std::fwrite(line.data(), 1, line.size(), stdout);
  return HasStandardOutput() ? 0 : 3;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string RunChildWithTail(const std::string& tail) {
  const std::string out =
      (std::filesystem::temp_directory_path() / test::UniqueName("cmdline")).string();
  ProcessObject* child = SpawnWithCommandTail(CurrentExecutablePath(), tail, out, out);
  EXPECT_NE(child, nullptr);
  int code = -1;
  EXPECT_TRUE(WaitProcess(child, 30000, &code));
  CloseProcess(child);
  EXPECT_EQ(code, 0);
  std::string text = ReadAll(out);
  std::filesystem::remove(out);
  return text;
}

TEST(CommandLineTail, TheChildReadsBackTheTailItWasStartedWith) {
  for (const std::string tail : {"RTD /A", "RegXLL \"C:\\my folder\\\" \"\" /xar",
                                 "x\"a b\"c \"unclosed tail", "\"\"\"\""}) {
    const std::string line = RunChildWithTail("--orvex-child print_command_line " + tail);
    EXPECT_TRUE(line.ends_with(" --orvex-child print_command_line " + tail)) << line;
  }
}

TEST(CommandLineTail, WithoutATailTheLineIsTheProgramAlone) {
  // No child role: the test binary lists its tests and exits; only the spawn matters.
  const std::string out =
      (std::filesystem::temp_directory_path() / test::UniqueName("cmdline")).string();
  ProcessObject* child =
      SpawnWithCommandTail(CurrentExecutablePath(), "--gtest_list_tests", out, {});
  ASSERT_NE(child, nullptr);
  int code = -1;
  EXPECT_TRUE(WaitProcess(child, 30000, &code));
  CloseProcess(child);
  EXPECT_EQ(code, 0);
  EXPECT_NE(ReadAll(out).find("CommandLineTail."), std::string::npos);
  std::filesystem::remove(out);
}

}  // namespace
}  // namespace orvex::platform
