#include "tests/support/child_process.h"

#include <atomic>
#include <cstring>
#include <map>

#include "platform/clock.h"
#include "platform/thread.h"

namespace orvex::test {
namespace {

constexpr const char* kChildSwitch = "--orvex-child";

std::map<std::string, ChildRole>& Roles() {
  static auto* roles = new std::map<std::string, ChildRole>;
  return *roles;
}

}  // namespace

bool RegisterChildRole(const char* name, ChildRole role) {
  Roles()[name] = role;
  return true;
}

platform::ProcessObject* SpawnChild(const std::string& role, const std::vector<std::string>& args) {
  std::vector<std::string> all{kChildSwitch, role};
  all.insert(all.end(), args.begin(), args.end());
  return platform::SpawnProcess(platform::CurrentExecutablePath(), all);
}

int RunChild(const std::string& role, const std::vector<std::string>& args, uint32_t timeout_ms) {
  platform::ProcessObject* child = SpawnChild(role, args);
  if (child == nullptr) return -1;
  int code = -1;
  if (!platform::WaitProcess(child, timeout_ms, &code)) {
    platform::KillProcess(child);
    code = -1;
  }
  platform::CloseProcess(child);
  return code;
}

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "_" + std::to_string(platform::CurrentProcessId()) + "_" +
         std::to_string(platform::TickCount() & 0xFFFF) + "_" + std::to_string(++counter);
}

bool RunChildRoleIfRequested(int argc, char** argv, int* exit_code) {
  if (argc < 3 || std::strcmp(argv[1], kChildSwitch) != 0) return false;
  const auto it = Roles().find(argv[2]);
  if (it == Roles().end()) {
    *exit_code = 99;
    return true;
  }
  *exit_code = it->second(std::vector<std::string>(argv + 3, argv + argc));
  return true;
}

}  // namespace orvex::test
