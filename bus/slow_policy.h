#pragma once
#include <cstdint>
#include <string_view>

namespace orvex {

// What the bus does with a link whose reader falls behind.
enum class SlowPolicy {
  // Past the link's bound a newer value for a handle replaces the older one still
  // waiting, nobody else waits; a reader whose waiting values exceed the held limit
  // (many handles of large values) is dropped.
  kConflate,
  // Lossless: publishers are not read while any link is past its bound; a reader whose
  // link has not drained below its bound within the stall limit is dropped.
  kBlock,
};

// "conflate" or "block" (any case) into *policy; false (unchanged) for anything else.
bool ParseSlowPolicy(std::string_view text, SlowPolicy* policy);
// The name ParseSlowPolicy reads.
const char* SlowPolicyName(SlowPolicy policy);

// How much a link may have waiting and what happens beyond.
struct LinkFlow {
  // Bytes of messages a link may have waiting in its own buffers (classic: messages
  // not yet in the ring; V2: its outgoing segments). Beyond that the bus holds them.
  static constexpr uint64_t kDefaultBacklogBytes = 4ull << 20;
  // Below this a classic link with 64 KiB slots could not take one message.
  static constexpr uint64_t kMinBacklogBytes = 64ull << 10;
  // The largest message: a V2 value record of the largest payload.
  static constexpr uint64_t kLargestMessageBytes = 16 + 16777215;
  SlowPolicy policy = SlowPolicy::kConflate;
  uint64_t backlog_bytes = kDefaultBacklogBytes;
  // Bytes the bus holds for one link past its bound, conflatable values included: the
  // bound again, plus one value of the largest size, so a reader that is just behind
  // one large value is not let go for it.
  uint64_t held_limit() const { return backlog_bytes + kLargestMessageBytes; }
};

}  // namespace orvex
