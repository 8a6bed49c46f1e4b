#include "bus/app/auto_start.h"

#include <algorithm>

#include "platform/process.h"
#include "platform/window_messages.h"
#include "registry/reg_key_path.h"
#include "threading/trace.h"

namespace orvex {

namespace {
// The value is read into a buffer of this size; a longer one does not fit.
constexpr size_t kCommandBuffer = 1024;
// WinExec reports success with 32 and more.
constexpr uint32_t kFirstSuccess = 32;
}  // namespace

bool LaunchAutoStartPublisher() {
  const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
  SfRegValue value;
  if (!key.ReadValue(kAutoStartValue, &value) || value.data.size() > kCommandBuffer) return false;
  const auto end = std::find(value.data.begin(), value.data.end(), uint8_t{0});
  const std::string command_line(value.data.begin(), end);
  BusLog().Append("Executing command line " + command_line);
  const bool started =
      platform::LaunchCommandLine(command_line, platform::SW_MINIMIZE) >= kFirstSuccess;
  BusLog().Append(started ? "Success" : "Failed");
  return started;
}

}  // namespace orvex
