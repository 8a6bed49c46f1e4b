#pragma once
#include <cstddef>
#include <cstdint>

namespace orvex::rtd {

// The bus's limits per client as it applies them by default: a workbook of 250,000
// cells, each its own topic of 64 characters.
inline constexpr size_t kBusDefaultTopics = 262144;
inline constexpr size_t kBusDefaultTextBytes = 16 * 1024 * 1024;

// Where the bus program reads other limits (HKEY_CURRENT_USER, REG_DWORD values) and
// the least of each it accepts; it ignores a value of another type or below that.
inline constexpr const char* kBusSettingsKey = "Software\\Orvex\\RTD";
inline constexpr const char* kBusTopicsValue = "MaxTopicsPerClient";
inline constexpr const char* kBusTextBytesValue = "MaxTopicTextBytesPerClient";
inline constexpr uint32_t kBusLeastTopics = 1;
inline constexpr uint32_t kBusLeastTextBytes = 64 * 1024;

// The link's own subscriptions (the publisher lists): two topics whose texts after the
// address take these bytes ("PUBLIST", "DEFPUB").
inline constexpr size_t kLinkOwnTopics = 2;
inline constexpr size_t kLinkOwnTextBytes = 7 + 6;

// The book's handles keep the topic's slot in their low bits; beyond this many slots a
// larger setting is not followed (more than an Excel process can hold anyway).
inline constexpr size_t kMaxBookSlots = size_t{1} << 23;

// What the book may hold open: the bus's limits less the link's own topics, so that a
// cell the bus would refuse without a word is refused when Excel asks for it.
struct BookLimits {
  size_t topics = kBusDefaultTopics - kLinkOwnTopics;
  size_t text_bytes = kBusDefaultTextBytes - kLinkOwnTextBytes;  // after each address

  // The book's share of a bus that allows `bus_topics` and `bus_text_bytes` per client.
  static BookLimits ForBus(size_t bus_topics, size_t bus_text_bytes);
  // The limits the bus program applies, read from the registry as it reads them.
  static BookLimits FromSettings();
};

// The default book's limit, which the bench and tests fill.
inline constexpr size_t kMaxBusTopics = kBusDefaultTopics - kLinkOwnTopics;

}  // namespace orvex::rtd
