// The self-delete script: its place, its exact text, and a real deletion of a copy of
// this test binary that ends itself through SelfDelete.
#include "system/self_delete.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"
#include "platform/process.h"
#include "system/testing/test_scratch.h"

namespace orvex::test {
namespace {

using namespace system;

// Answers 7 when SelfDelete returned (it ends the process itself on success).
ORVEX_CHILD_ROLE(self_delete) {
  return SelfDelete() ? 8 : 7;
}

TEST(SelfDeleteScriptTest, NamedAfterTheStemInTheTemporaryFolder) {
  const std::string exe =
      WindowsBackend() ? "C:\\Program Files\\Orvex\\Pendrel.exe" : "/opt/orvex bin/pendrel";
  const std::string name = WindowsBackend() ? "Pendrel_delete.cmd" : "pendrel_delete.sh";
  EXPECT_EQ(SelfDeleteScriptPath(exe), JoinPath(GetTempFolder(), name));
}

TEST(SelfDeleteScriptTest, ExactTextWithAndWithoutAConsole) {
  if (WindowsBackend()) {
    const std::string exe = "C:\\Program Files\\Orvex\\Pendrel.exe";
    const std::string script = "C:\\temp\\Pendrel_delete.cmd";
    EXPECT_EQ(SelfDeleteScriptText(exe, script, true),
              "@echo off\r\n"
              "ping -n 5 127.0.0.1 > nul\r\n"
              "del \"C:\\Program Files\\Orvex\\Pendrel.exe\"\r\n"
              "start /b \"\" cmd /c del \"%~f0\"");
    EXPECT_EQ(SelfDeleteScriptText(exe, script, false),
              "@echo off\r\n"
              "echo Self-Deleting non-console executable...\r\n"
              "ping -n 5 127.0.0.1 > nul\r\n"
              "del \"C:\\Program Files\\Orvex\\Pendrel.exe\"\r\n"
              "start /b \"\" cmd /c del \"%~f0\"");
  } else {
    const std::string exe = "/opt/orvex bin/it's";
    const std::string script = "/tmp/it's_delete.sh";
    EXPECT_EQ(SelfDeleteScriptText(exe, script, true),
              "#!/bin/sh\n"
              "sleep 4\n"
              "rm -f '/opt/orvex bin/it'\\''s'\n"
              "rm -f '/tmp/it'\\''s_delete.sh'");
    EXPECT_EQ(SelfDeleteScriptText(exe, script, false),
              "#!/bin/sh\n"
              "echo Self-Deleting non-console executable...\n"
              "sleep 4\n"
              "rm -f '/opt/orvex bin/it'\\''s'\n"
              "rm -f '/tmp/it'\\''s_delete.sh'");
  }
}

// A copy of this binary in a folder with a blank in its name deletes itself: it ends
// with exit code 0 at once, is still there during the pause, and is gone after it,
// together with its script.
TEST(SelfDeleteTest, CopiedProgramIsGoneAfterThePause) {
  ScratchFolder dir;
  ASSERT_TRUE(CreateFolder(dir / "with blank"));
  const std::string suffix = WindowsBackend() ? ".exe" : "";
  const std::string copy = JoinPath(dir / "with blank", UniqueName("selfdel") + suffix);
  ASSERT_TRUE(CopyFileOver(GetModulePath(), copy));
  const std::string script = SelfDeleteScriptPath(copy);
  platform::ProcessObject* child = platform::SpawnProcess(copy, {"--orvex-child", "self_delete"});
  ASSERT_NE(child, nullptr);
  int code = -1;
  const bool ended = platform::WaitProcess(child, 15000, &code);
  if (!ended) platform::KillProcess(child);
  platform::CloseProcess(child);
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(FileExists(copy)) << "deleted before the pause";
  EXPECT_TRUE(FileExists(script));
  const uint32_t start = platform::TickCount();
  while ((FileExists(copy) || FileExists(script)) && platform::TickCount() - start < 20000) {
    platform::SleepMs(100);
  }
  EXPECT_FALSE(FileExists(copy));
  EXPECT_FALSE(FileExists(script));
}

// A temporary folder that does not exist: the script cannot be written, nothing is
// started and SelfDelete returns false; the program stays.
TEST(SelfDeleteTest, UnwritableScriptReturnsFalse) {
  ScratchFolder dir;
  const std::string missing = dir / "no-temp";
  const char* const names[] = {"TMPDIR", "TMP", "TEMP"};
  std::vector<std::pair<bool, std::string>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.emplace_back(value != nullptr, value ? value : "");
    platform::SetEnvVar(name, missing.c_str());
  }
  const int code = RunChild("self_delete", {}, 15000);
  for (size_t i = 0; i < saved.size(); ++i) {
    platform::SetEnvVar(names[i], saved[i].first ? saved[i].second.c_str() : nullptr);
  }
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(FileExists(GetModulePath()));
}

}  // namespace
}  // namespace orvex::test
