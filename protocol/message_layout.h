#pragma once
// Field offsets and sizes shared by the message readers and writers.
#include <cstddef>
#include <cstdint>

#include "protocol/message_text.h"

namespace orvex::layout {

inline constexpr size_t kHandle = 8;
inline constexpr size_t kHandleText = 12;
inline constexpr size_t kTopicTextChars = 112;  // TEXT(112): 113 characters per message

inline constexpr size_t kRegisterSid = 10;
inline constexpr size_t kRegisterSidField = 10;  // 9 characters and the NUL
// u16 at +20, zero in older clients: bit 0, the client holds its link's liveness mutex.
inline constexpr size_t kRegisterFlags = 20;
inline constexpr uint16_t kRegisterHoldsLiveness = 1;
inline constexpr size_t kRegisterName = 22;
inline constexpr size_t kRegisterNameField = 62;  // 61 characters and the NUL
inline constexpr size_t kRegisterPublisher = 84;
inline constexpr size_t kRegisterSubscriber = 85;
inline constexpr size_t kRegisterSize = 86;

inline constexpr size_t kReplyResult = 8;
inline constexpr size_t kReplyStatus = 12;
inline constexpr size_t kReplyStatusChars = 60;
inline constexpr size_t kReplyVersionWord = 76;
inline constexpr size_t kReplyVersionTag = 80;
inline constexpr size_t kReplyVersionTagSize = 16;
inline constexpr size_t kReplyBuild = 96;
inline constexpr size_t kReplySize = 100;
inline constexpr uint32_t kVersionWord = 0x00040004;
inline constexpr char kVersionTag[] = "RTD_VERSION_INFO";
inline constexpr uint32_t kBuildNumber = 460;

inline constexpr size_t kDisconnectReason = 8;
inline constexpr size_t kDisconnectReasonChars = 116;

inline constexpr size_t kRefreshCount = 8;
inline constexpr size_t kRefreshItems = 12;

inline constexpr size_t kDefaultSid = 10;

inline constexpr size_t kMonitorFlags = 8;
inline constexpr size_t kMonitorSize = 14;
inline constexpr size_t kMonitorReplyTopics = 8;
inline constexpr size_t kMonitorReplyClients = 12;
inline constexpr size_t kMonitorReplySize = 16;

inline constexpr size_t kClientId = 8;
inline constexpr size_t kClientPublisher = 10;
inline constexpr size_t kClientSubscriber = 11;
inline constexpr size_t kClientSid = 12;
inline constexpr size_t kClientSidChars = 8;
inline constexpr size_t kClientName = 24;
inline constexpr size_t kClientNameChars = 60;
inline constexpr size_t kClientReason = 12;
inline constexpr size_t kClientReasonChars = 112;

inline constexpr size_t kHandleOnlySize = 12;

}  // namespace orvex::layout
