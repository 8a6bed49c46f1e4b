// Starting a program with administrator rights on POSIX: through pkexec when it is on
// PATH (its exit status 126 or 127 is a declined prompt), else through a password-free
// "sudo -n", else refused as a declined prompt is. The launchers are small scripts on
// a private PATH, so nothing here asks for or gets real rights.
#include "platform/elevation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/process.h"
#include "tests/support/child_process.h"

namespace orvex::platform {
namespace {

namespace fs = std::filesystem;

class StartElevatedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (fs::path::preferred_separator == '\\') {
      GTEST_SKIP() << "Windows elevates through the UAC prompt (runas), which no test answers";
    }
    dir_ = fs::temp_directory_path() / test::UniqueName("elevation");
    fs::create_directories(dir_ / "bin");
    const char* path = std::getenv("PATH");
    saved_path_ = path != nullptr ? path : "";
    SetEnvVar("PATH", (dir_ / "bin").string().c_str());
    // The program to start: writes each argument on its own line (PATH holds only the
    // launchers, so the scripts use shell built-ins).
    program_ = Script("program", "printf '%s\\n' \"$@\" > '" + Record() + "'");
  }
  void TearDown() override {
    if (dir_.empty()) return;
    SetEnvVar("PATH", saved_path_.c_str());
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Script(const std::string& name, const std::string& body) {
    const fs::path path = name == "program" ? dir_ / name : dir_ / "bin" / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }
  std::string Record() const { return (dir_ / "record.txt").string(); }
  std::string Recorded() const {
    std::string text;
    const uint32_t start = TickCount();
    while (TickCount() - start < 10000) {
      std::ifstream in(Record());
      std::stringstream all;
      all << in.rdbuf();
      text = all.str();
      if (!text.empty()) break;
      SleepMs(20);
    }
    return text;
  }

  fs::path dir_;
  std::string saved_path_;
  std::string program_;
};

TEST_F(StartElevatedTest, WithoutPkexecOrSudoTheStartIsDeclined) {
  EXPECT_LE(StartElevated(program_, "RTD /A"), 32);
  EXPECT_FALSE(fs::exists(Record()));
}

TEST_F(StartElevatedTest, PkexecRunsTheProgramWithTheTailCutIntoArguments) {
  Script("pkexec", "exec \"$@\"");
  // Quotes stay with their words, so the started program's own command line is the
  // same tail again.
  EXPECT_GT(StartElevated(program_, "RTD \"/opt/my dir\" /A"), 32);
  EXPECT_EQ(Recorded(), "RTD\n\"/opt/my dir\"\n/A\n");
}

TEST_F(StartElevatedTest, PkexecRefusingOrDismissedIsADeclinedPrompt) {
  Script("pkexec", "exit 126");
  EXPECT_LE(StartElevated(program_, "RTD /A"), 32);
  Script("pkexec", "exit 127");
  EXPECT_LE(StartElevated(program_, "RTD /A"), 32);
}

TEST_F(StartElevatedTest, SudoIsUsedOnlyWhenItNeedsNoPassword) {
  const std::string sudo_body =
      "[ \"$1\" = -n ] || exit 2; shift\n"
      "read answer < '" +
      (dir_ / "probe").string() +
      "'\n"
      "[ \"$1\" = true ] && exit $answer\n"
      "[ \"$1\" = -- ] && shift\nexec \"$@\"";
  Script("sudo", sudo_body);
  std::ofstream(dir_ / "probe") << "1";
  EXPECT_LE(StartElevated(program_, "Drop"), 32);
  EXPECT_FALSE(fs::exists(Record()));
  std::ofstream(dir_ / "probe") << "0";
  EXPECT_GT(StartElevated(program_, "Drop"), 32);
  EXPECT_EQ(Recorded(), "Drop\n");
}

TEST_F(StartElevatedTest, AskedForItTheCopysExitCodeComesBackThroughPkexecAndSudo) {
  const std::string program = Script("program", "exit 3");
  Script("pkexec", "exec \"$@\"");
  int code = 0;
  EXPECT_GT(StartElevated(program, "RTD /A", &code), 32);
  EXPECT_EQ(code, 3);
  // sudo is waited for too when the code is asked for.
  fs::remove(dir_ / "bin" / "pkexec");
  Script("sudo",
         "[ \"$1\" = -n ] || exit 2; shift\n[ \"$1\" = true ] && exit 0\n"
         "[ \"$1\" = -- ] && shift\nexec \"$@\"");
  code = 0;
  EXPECT_GT(StartElevated(program, "Drop", &code), 32);
  EXPECT_EQ(code, 3);
}

}  // namespace
}  // namespace orvex::platform
