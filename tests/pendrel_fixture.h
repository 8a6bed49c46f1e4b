#pragma once
// Pendrel run as a real process, the way an installer runs it: a command-line tail in,
// the exit code, the standard output, the trace lines and the registry afterwards out.
// Registry: see tests/support/child_registry.h.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/process.h"
#include "registry/reg_key_path.h"
#include "tests/support/child_process.h"
#include "tests/support/child_registry.h"

namespace orvex::test {

struct PendrelRun {
  int exit_code = 0;   // as the parent sees it (-1 is 255 on POSIX)
  std::string output;  // standard output
  std::string trace;   // debugger output (POSIX only: Wine sends it to its own log)
};

inline bool WindowsBuild() {
  return std::string(PENDREL_FILE_NAME).ends_with(".exe");
}

// A result as the parent reads it back as an exit code.
inline int ExitCodeOf(int result) {
  return WindowsBuild() ? result : (result & 0xFF);
}

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename Pred>
bool WaitFor(Pred pred, uint32_t timeout_ms = 15000) {
  const uint32_t start = platform::TickCount();
  while (!pred()) {
    if (platform::TickCount() - start >= timeout_ms) return false;
    platform::SleepMs(20);
  }
  return true;
}

class PendrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / UniqueName("pendrel");
    std::filesystem::create_directories(dir_);
    platform::SetEnvVar("ORVEX_DEBUG_OUTPUT", TracePath().c_str());
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
  }
  void TearDown() override {
    platform::SetEnvVar("ORVEX_DEBUG_OUTPUT", nullptr);
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
    registry_.Release();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Gives the children a registry of this test's own (tests/support/child_registry.h);
  // false (after GTEST_SKIP by the caller) when there is none to give.
  bool OwnRegistry() { return registry_.Own(WindowsBuild()); }
  static const char* NoRegistryReason() { return ChildRegistry::kSkipReason; }
  // A key the test writes; under Wine it is removed again at the end.
  SfRegKeyPath Written(RegRoot root, const std::string& path) {
    return registry_.RemoveAtEnd(root, path);
  }

  static std::string PendrelPath() {
    const std::string self = platform::CurrentExecutablePath();
    return self.substr(0, self.find_last_of("/\\")) + "/../setup/" PENDREL_FILE_NAME;
  }

  // Runs `program` (Pendrel by default) with the command-line tail and waits.
  PendrelRun Run(const std::string& tail, const std::string& program = PendrelPath()) {
    PendrelRun run;
    const std::string out = last_output_ = (dir_ / UniqueName("out")).string();
    std::filesystem::remove(TracePath());
    platform::ProcessObject* child = platform::SpawnWithCommandTail(program, tail, out, out + "e");
    EXPECT_NE(child, nullptr) << program;
    if (child == nullptr) return run;
    run.exit_code = 9999;
    if (!platform::WaitProcess(child, 60000, &run.exit_code)) platform::KillProcess(child);
    platform::CloseProcess(child);
    run.output = ReadFileText(out);
    run.trace = ReadFileText(TracePath());
    return run;
  }

  // A folder of this test, with a native trailing separator when asked.
  std::string Folder(bool trailing = false) const {
    std::string folder = dir_.string();
    if (trailing) folder += static_cast<char>(std::filesystem::path::preferred_separator);
    return folder;
  }
  std::string MakeFile(const std::string& name, const std::string& bytes = "x") {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string TracePath() const { return (dir_ / "trace.txt").string(); }

  std::filesystem::path dir_;
  ChildRegistry registry_;
  std::string last_output_;  // standard output file of the last Run
};

}  // namespace orvex::test
