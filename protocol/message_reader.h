#pragma once
// Readers for every bus message. Each takes the whole message (header included) with
// its length: 128 bytes for a classic slot, the record length for a V2 record. The
// bytes come from another process and are treated as hostile: nothing is read past
// the message or past a field's end, and a text without its NUL ends at its field's
// end. A reader returns false, leaving *out unspecified, when the message is too
// short for its fixed fields (numbers and flags); texts and values are cut to what
// the message holds. Readers do not check the code in the header.
#include <cstdint>
#include <span>
#include <string>

#include "protocol/message_fields.h"

namespace orvex {

using MessageBytes = std::span<const uint8_t>;

// MSG_REGISTER (at least 86 bytes): SID at +10 (up to 9 characters), name at +22 (up
// to 61), flags at +84 and +85.
bool ReadRegister(MessageBytes msg, RegisterRequest* out);

// MSG_REGISTER_REPLY (100 bytes).
bool ReadRegisterReply(MessageBytes msg, RegisterReply* out);

// MSG_DISCONNECT: the reason text at +8.
bool ReadDisconnect(MessageBytes msg, std::string* reason);

// The u32 at +8: MSG_HEARTBEAT, MSG_TOPIC_CLOSE, MSG_TOPIC_REMOVED (12 bytes).
bool ReadHandle(MessageBytes msg, uint32_t* out);

// Classic handle and TEXT(112): MSG_TOPIC, MSG_TEXT_A, MSG_TEXT_B, MSG_TOPIC_ADDED and
// the part codes 48, 49, 52, 53.
bool ReadClassicHandleText(MessageBytes msg, HandleText* out);

// V2 handle and LTEXT: MSG_TOPIC_V2, MSG_TEXT_A_V2, MSG_TEXT_B_V2, MSG_TOPIC_ADDED_V2.
bool ReadV2HandleText(MessageBytes msg, HandleText* out);

// Classic handle and value record: MSG_VALUE, MSG_TOPIC_VALUE and the part codes 50,
// 51, 54, 55.
bool ReadClassicHandleValue(MessageBytes msg, HandleValue* out);

// V2 handle and value record: MSG_VALUE_V2, MSG_TOPIC_VALUE_V2. A malformed record
// gives an empty value (the message itself is still read).
bool ReadV2HandleValue(MessageBytes msg, HandleValue* out);

// MSG_REFRESH: the count at +8, cut to 29 and to the items the message holds.
bool ReadClassicRefresh(MessageBytes msg, RefreshItems* out);

// MSG_REFRESH_V2: the byte count at +8, cut to the bytes the record holds, divided by 4.
bool ReadV2Refresh(MessageBytes msg, RefreshItems* out);

// MSG_SET_DEFAULT_PUBLISHER (at least 11 bytes): the SID at +10.
bool ReadSetDefaultPublisher(MessageBytes msg, std::string* sid);

// MSG_MONITOR (14 bytes).
bool ReadMonitor(MessageBytes msg, MonitorRequest* out);

// MSG_MONITOR_REPLY (16 bytes).
bool ReadMonitorReply(MessageBytes msg, MonitorReply* out);

// MSG_CLIENT_ADDED: id, flags, SID TEXT(8) at +12, name TEXT(60) at +24.
bool ReadClientAdded(MessageBytes msg, ClientAdded* out);

// MSG_CLIENT_REMOVED: id at +8, reason TEXT(112) at +12.
bool ReadClientRemoved(MessageBytes msg, ClientRemoved* out);

}  // namespace orvex
