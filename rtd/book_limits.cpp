#include "rtd/book_limits.h"

#include <algorithm>

#include "registry/reg_key_path.h"

namespace orvex::rtd {
namespace {

// A REG_DWORD of at least `least`, as the bus takes it; `fallback` otherwise.
size_t SettingOr(const SfRegKeyPath& key, const char* name, uint32_t least, size_t fallback) {
  SfRegValue value;
  uint32_t number = 0;
  if (!key.ReadValue(name, &value) || !value.ToDword(&number)) return fallback;
  return number >= least ? number : fallback;
}

}  // namespace

BookLimits BookLimits::ForBus(size_t bus_topics, size_t bus_text_bytes) {
  BookLimits limits;
  limits.topics = std::min(bus_topics - std::min(bus_topics, kLinkOwnTopics), kMaxBookSlots);
  limits.text_bytes = bus_text_bytes - std::min(bus_text_bytes, kLinkOwnTextBytes);
  return limits;
}

BookLimits BookLimits::FromSettings() {
  const SfRegKeyPath key(RegRoot::kCurrentUser, kBusSettingsKey);
  return ForBus(SettingOr(key, kBusTopicsValue, kBusLeastTopics, kBusDefaultTopics),
                SettingOr(key, kBusTextBytesValue, kBusLeastTextBytes, kBusDefaultTextBytes));
}

}  // namespace orvex::rtd
