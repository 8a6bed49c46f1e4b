#pragma once
// The slow-reader and topic-limit settings of the bus program, read from the registry.
#include "bus/rtd_server.h"

namespace orvex {

// Values under HKEY_CURRENT_USER\Software\Orvex\RTD (the key of kAutoStartKey):
// REG_SZ "conflate" or "block"; REG_DWORD bytes a link may have waiting (at least
// 64 KiB); REG_DWORD milliseconds a stalled reader is given under "block".
inline constexpr const char* kSlowPolicyValue = "SlowSubscriberPolicy";
inline constexpr const char* kLinkBacklogValue = "LinkBacklogBytes";
inline constexpr const char* kStallLimitValue = "StallLimitMs";

// REG_DWORD topics one client may hold at a time, and REG_DWORD bytes of topic text
// those topics may take together (at least one topic of the longest text).
inline constexpr const char* kMaxTopicsValue = "MaxTopicsPerClient";
inline constexpr const char* kMaxTopicTextValue = "MaxTopicTextBytesPerClient";

// Applies the values that are set to *options and logs the settings in force to
// BusLog; a value of the wrong type or out of range is logged and ignored. Main thread.
void ReadFlowSettings(RtdServer::Options* options);
// The same for the per-client topic limits.
void ReadTopicLimitSettings(RtdServer::Options* options);

}  // namespace orvex
