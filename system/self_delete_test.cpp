// The self-delete script: its place, its exact text, and a real deletion of a copy of
// this test binary that ends itself through SelfDelete.
#include "system/self_delete.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

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

// The script's name is only predictable up to its prefix.
TEST(SelfDeleteScriptTest, NamedAfterTheStemInTheTemporaryFolder) {
  const std::string exe =
      WindowsBackend() ? "C:\\Program Files\\Orvex\\Pendrel.exe" : "/opt/orvex bin/pendrel";
  const std::string name = WindowsBackend() ? "Pendrel_delete_" : "pendrel_delete_";
  EXPECT_EQ(SelfDeleteScriptPrefix(exe), JoinPath(GetTempFolder(), name));
  if (WindowsBackend()) return;
  // A relative temporary folder would be written in one directory and run from another.
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  platform::SetEnvVar("TMPDIR", "relative/tmp");
  const std::string folder = GetTempFolder();
  platform::SetEnvVar("TMPDIR", old != nullptr ? saved.c_str() : nullptr);
  EXPECT_EQ(folder, "/tmp/");
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
    // cmd expands %b\c% even between quotes: each sign is doubled.
    EXPECT_NE(SelfDeleteScriptText("C:\\a%b\\c%d\\Pendrel.exe", script, true)
                  .find("del \"C:\\a%%b\\c%%d\\Pendrel.exe\"\r\n"),
              std::string::npos);
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
    // Nothing in a path is run by the shell.
    EXPECT_NE(SelfDeleteScriptText("/opt/$(id)`id`;x/p", script, true)
                  .find("rm -f '/opt/$(id)`id`;x/p'\n"),
              std::string::npos);
  }
}

// The scripts in the temporary folder named for `executable`.
std::vector<std::string> ScriptsOf(const std::string& executable) {
  const std::filesystem::path prefix = SelfDeleteScriptPrefix(executable);
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(prefix.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix.filename().string())) found.push_back(entry.path().string());
  }
  return found;
}

// A copy of this binary in a folder whose name holds a blank and what the command
// interpreter would otherwise act on deletes itself: it ends with exit code 0 at once,
// is still there during the pause, and is gone after it, together with its script.
TEST(SelfDeleteTest, CopiedProgramIsGoneAfterThePause) {
  ScratchFolder dir;
  const std::string folder = dir / (WindowsBackend() ? "with blank & 100%x%" : "with blank $(x);");
  ASSERT_TRUE(CreateFolder(folder));
  const std::string suffix = WindowsBackend() ? ".exe" : "";
  const std::string copy = JoinPath(folder, UniqueName("selfdel") + suffix);
  ASSERT_TRUE(CopyFileOver(GetModulePath(), copy));
  platform::ProcessObject* child = platform::SpawnProcess(copy, {"--orvex-child", "self_delete"});
  ASSERT_NE(child, nullptr);
  int code = -1;
  const bool ended = platform::WaitProcess(child, 15000, &code);
  if (!ended) platform::KillProcess(child);
  platform::CloseProcess(child);
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(FileExists(copy)) << "deleted before the pause";
  EXPECT_EQ(ScriptsOf(copy).size(), 1u);
  const uint32_t start = platform::TickCount();
  while ((FileExists(copy) || !ScriptsOf(copy).empty()) && platform::TickCount() - start < 20000) {
    platform::SleepMs(100);
  }
  EXPECT_FALSE(FileExists(copy));
  EXPECT_TRUE(ScriptsOf(copy).empty());
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
