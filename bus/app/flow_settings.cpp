#include "bus/app/flow_settings.h"

#include <string>

#include "bus/app/auto_start.h"
#include "registry/reg_key_path.h"
#include "threading/trace.h"

namespace orvex {
namespace {

// A REG_DWORD value: true with *number; false when missing; logs a value of another type.
bool ReadDword(const SfRegKeyPath& key, const char* name, uint32_t* number) {
  SfRegValue value;
  if (!key.ReadValue(name, &value)) return false;
  if (value.type != kRegDword || value.data.size() != 4) {
    BusLog().Append(std::string("Ignoring ") + name + ": not a REG_DWORD");
    return false;
  }
  *number = uint32_t{value.data[0]} | uint32_t{value.data[1]} << 8 | uint32_t{value.data[2]} << 16 |
            uint32_t{value.data[3]} << 24;
  return true;
}

}  // namespace

void ReadFlowSettings(RtdServer::Options* options) {
  const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
  std::string text;
  if (key.ReadString(kSlowPolicyValue, &text) && !ParseSlowPolicy(text, &options->slow_policy)) {
    BusLog().Append(std::string("Ignoring ") + kSlowPolicyValue + " \"" + text +
                    "\": use \"conflate\" or \"block\"");
  }
  uint32_t number = 0;
  if (ReadDword(key, kLinkBacklogValue, &number)) {
    if (number >= LinkFlow::kMinBacklogBytes) {
      options->link_backlog_bytes = number;
    } else {
      BusLog().Append(std::string("Ignoring ") + kLinkBacklogValue + " " + std::to_string(number) +
                      ": below " + std::to_string(LinkFlow::kMinBacklogBytes));
    }
  }
  if (ReadDword(key, kStallLimitValue, &number)) {
    if (number != 0) {
      options->stall_limit_ms = number;
    } else {
      BusLog().Append(std::string("Ignoring ") + kStallLimitValue + " 0");
    }
  }
  BusLog().Append(std::string("Slow readers: ") + SlowPolicyName(options->slow_policy) + ", " +
                  std::to_string(options->link_backlog_bytes) + " bytes per link, stall " +
                  std::to_string(options->stall_limit_ms) + " ms");
}

}  // namespace orvex
