#pragma once
// The slow-reader settings of the bus program, read from the registry.
#include "bus/rtd_server.h"

namespace orvex {

// Values under HKEY_CURRENT_USER\Software\Orvex\RTD (the key of kAutoStartKey):
// REG_SZ "conflate" or "block"; REG_DWORD bytes a link may have waiting (at least
// 64 KiB); REG_DWORD milliseconds a stalled reader is given under "block".
inline constexpr const char* kSlowPolicyValue = "SlowSubscriberPolicy";
inline constexpr const char* kLinkBacklogValue = "LinkBacklogBytes";
inline constexpr const char* kStallLimitValue = "StallLimitMs";

// Applies the values that are set to *options and logs the settings in force to
// BusLog; a value of the wrong type or out of range is logged and ignored. Main thread.
void ReadFlowSettings(RtdServer::Options* options);

}  // namespace orvex
