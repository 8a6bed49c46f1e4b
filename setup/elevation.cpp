#include "setup/elevation.h"

#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/elevation.h"
#include "platform/process.h"
#include "platform/test_seams.h"
#include "setup/argv_list.h"

namespace orvex {

namespace {

constexpr const char* kTestVariable = "ORVEX_TEST_ELEVATION";

bool g_elevated_copy = false;

// The only reader of the test variable. Null when it is not set.
const char* TestElevation() {
  return platform::FollowedVariable(kTestVariable);
}

// What the test seam answers for the prompt: above 32 when it accepts (the copy is
// then started here), 5 (access denied) when it declines.
int StartCopyForTest(const std::string& program, const std::string& parameters, int* exit_code) {
  const std::string value = TestElevation();
  const size_t arrow = value.find('>');
  if (arrow == std::string::npos) return 5;
  // Accepted before the copy runs, so its lines always follow this one.
  std::printf("\nElevated restart succeeded");
  std::fflush(stdout);
  platform::SetEnvVar(kTestVariable, value.substr(arrow + 1).c_str());
  platform::ProcessObject* copy = platform::SpawnWithCommandTail(program, parameters);
  if (copy == nullptr || !platform::WaitProcess(copy, platform::kInfinite, exit_code)) {
    *exit_code = -1;
  }
  platform::CloseProcess(copy);
  return copy != nullptr ? 42 : 5;
}

[[noreturn]] void EndWith(const char* line, int exit_code) {
  std::printf("%s", line);
  std::fflush(stdout);
  std::exit(exit_code);
}

}  // namespace

bool IsProcessElevated() {
  if (const char* value = TestElevation()) return value[0] == '1';
  return platform::IsTokenElevated();
}

void MarkElevatedCopy(std::vector<std::string>* tokens) {
  if (tokens->empty() || (*tokens)[0] != kElevatedCopyToken) return;
  tokens->erase(tokens->begin());
  g_elevated_copy = true;
}

void RestartElevated() {
  // A copy that still lacks the rights would only start another copy, without end.
  if (g_elevated_copy) EndWith("\nElevated restart failed", -1);
  std::printf("\nRestarting process elevated");
  std::fflush(stdout);
  const std::string program = platform::CurrentExecutablePath();
  std::string parameters = kElevatedCopyToken;
  const std::string original = CommandLineParameters(platform::ProcessCommandLine());
  if (!original.empty()) parameters += " " + original;
  // The copy is waited for and its exit code is this run's: an installer learns what
  // the elevated action did, not only that it started.
  int copy_code = -1;
  if (TestElevation() != nullptr) {
    if (StartCopyForTest(program, parameters, &copy_code) > 32) EndWith("", copy_code);
    EndWith("\nElevated restart failed", -1);
  }
  if (platform::StartElevated(program, parameters, &copy_code) > 32) {
    EndWith("\nElevated restart succeeded", copy_code);
  }
  EndWith("\nElevated restart failed", -1);
}

}  // namespace orvex
