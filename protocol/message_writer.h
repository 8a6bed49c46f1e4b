#pragma once
// Writers for every bus message. Each fills the code at +2 and the fields after the
// header of `out`, the buffer the caller reserved (a 128-byte classic slot or a V2
// record of the exact size); the connection id and tick at +0 and +4 are the
// caller's (see WriteMessageHeader). Fixed-layout writers zero every byte of `out`
// after the header that no field uses. Each returns the message's size on the wire,
// or 0, writing nothing, when `out` is too small or `code` is not one it writes.
// Texts end at their first NUL and are cut to their field.
#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/message_fields.h"
#include "protocol/rtd_value.h"

namespace orvex {

using MessageBuffer = std::span<uint8_t>;

// MSG_REGISTER (86 bytes): SID cut to 9 characters, name to 61.
size_t WriteRegister(MessageBuffer out, const RegisterRequest& request);

// MSG_REGISTER_REPLY (100 bytes): result 1 or 0, status TEXT(60), the version word
// 0x00040004, "RTD_VERSION_INFO" and the build number 460.
size_t WriteRegisterReply(MessageBuffer out, bool accepted, std::string_view status);

// MSG_DISCONNECT (128 bytes): reason TEXT(116).
size_t WriteDisconnect(MessageBuffer out, std::string_view reason);

// MSG_HEARTBEAT (12 bytes) carrying the server's start tick.
size_t WriteHeartbeat(MessageBuffer out, uint32_t start_tick);

// MSG_TOPIC_CLOSE or MSG_TOPIC_REMOVED (12 bytes): one handle or topic id.
size_t WriteHandleOnly(MessageBuffer out, uint16_t code, uint32_t handle);

// Header-only messages (8 bytes): MSG_CLOSE_ALL, MSG_ACCEPTED, MSG_DROPPED.
size_t WriteHeaderOnly(MessageBuffer out, uint16_t code);

// Classic handle and TEXT(112) (128 bytes): MSG_TOPIC, MSG_TEXT_A, MSG_TEXT_B,
// MSG_TOPIC_ADDED or a part code (48, 49, 52, 53). At most 113 characters go out;
// topic texts longer than that are sent with ClassicTextSplitter.
size_t WriteClassicHandleText(MessageBuffer out, uint16_t code, uint32_t handle,
                              std::string_view text);

// MSG_REFRESH (128 bytes) with at most 29 items; more items is refused (0).
size_t WriteClassicRefresh(MessageBuffer out, std::span<const uint32_t> items);

// MSG_SET_DEFAULT_PUBLISHER: the SID at +10 and its NUL; the size is 11 + the SID's
// length.
size_t WriteSetDefaultPublisher(MessageBuffer out, std::string_view sid);

// MSG_MONITOR (14 bytes) and MSG_MONITOR_REPLY (16 bytes).
size_t WriteMonitor(MessageBuffer out, const MonitorRequest& request);
size_t WriteMonitorReply(MessageBuffer out, const MonitorReply& reply);

// MSG_CLIENT_ADDED (128 bytes): SID TEXT(8), name TEXT(60).
size_t WriteClientAdded(MessageBuffer out, const ClientAdded& client);

// MSG_CLIENT_REMOVED (128 bytes): reason TEXT(112).
size_t WriteClientRemoved(MessageBuffer out, const ClientRemoved& client);

// Size of a V2 handle-and-LTEXT message: 16 + the text's length + 1.
size_t V2HandleTextSize(std::string_view text);

// V2 handle and LTEXT: MSG_TOPIC_V2, MSG_TEXT_A_V2, MSG_TEXT_B_V2, MSG_TOPIC_ADDED_V2.
size_t WriteV2HandleText(MessageBuffer out, uint16_t code, uint32_t handle, std::string_view text);

// Size of MSG_REFRESH_V2 with `count` items: 12 + 4 × count.
size_t V2RefreshSize(size_t count);

// MSG_REFRESH_V2: the byte count 4n at +8 and the n items.
size_t WriteV2Refresh(MessageBuffer out, std::span<const uint32_t> items);

// Size of a V2 handle-and-value message: 16 + the payload length; 0 when the value is
// longer than 16,777,215 bytes and so is not sent.
size_t V2HandleValueSize(const RtdValue& value);

// V2 handle and value record: MSG_VALUE_V2, MSG_TOPIC_VALUE_V2.
size_t WriteV2HandleValue(MessageBuffer out, uint16_t code, uint32_t handle, const RtdValue& value);

}  // namespace orvex
