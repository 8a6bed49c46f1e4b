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
  if (value.ToDword(number)) return true;
  BusLog().Append(std::string("Ignoring ") + name + ": not a REG_DWORD");
  return false;
}

// A REG_DWORD value of at least `least` into *out; anything else set is logged.
template <typename T>
void ReadDwordAtLeast(const SfRegKeyPath& key, const char* name, uint32_t least, T* out) {
  uint32_t number = 0;
  if (!ReadDword(key, name, &number)) return;
  if (number >= least) {
    *out = number;
  } else {
    BusLog().Append(std::string("Ignoring ") + name + " " + std::to_string(number) + ": below " +
                    std::to_string(least));
  }
}

}  // namespace

void ReadTopicLimitSettings(RtdServer::Options* options) {
  const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
  ReadDwordAtLeast(key, kMaxTopicsValue, 1, &options->max_topics_per_client);
  // Below one topic of the longest text, a client could be refused a topic it may ask.
  ReadDwordAtLeast(key, kMaxTopicTextValue, static_cast<uint32_t>(options->max_topic_text_bytes),
                   &options->max_topic_text_bytes_per_client);
  BusLog().Append("Topic limits per client: " + std::to_string(options->max_topics_per_client) +
                  " topics, " + std::to_string(options->max_topic_text_bytes_per_client) +
                  " bytes of topic text");
}

void ReadFlowSettings(RtdServer::Options* options) {
  const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
  std::string text;
  if (key.ReadString(kSlowPolicyValue, &text) && !ParseSlowPolicy(text, &options->slow_policy)) {
    BusLog().Append(std::string("Ignoring ") + kSlowPolicyValue + " \"" + text +
                    "\": use \"conflate\" or \"block\"");
  }
  ReadDwordAtLeast(key, kLinkBacklogValue, LinkFlow::kMinBacklogBytes,
                   &options->link_backlog_bytes);
  ReadDwordAtLeast(key, kStallLimitValue, 1, &options->stall_limit_ms);
  BusLog().Append(std::string("Slow readers: ") + SlowPolicyName(options->slow_policy) + ", " +
                  std::to_string(options->link_backlog_bytes) + " bytes per link, stall " +
                  std::to_string(options->stall_limit_ms) + " ms");
}

}  // namespace orvex
