#pragma once
// The two wire encodings of a bus value: the classic record (116 bytes, split over
// several messages when the content does not fit) and the V2 record (exact size,
// u24 payload length). Both sit at +12 of their message.
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/rtd_value.h"

namespace orvex {

inline constexpr size_t kValueRecordOffset = 12;
// The classic record's +1 byte: 0, or this flag on the first part of a split value, so
// a receiver can tell a new value from the rest of one whose sender gave up half-way.
inline constexpr size_t kValueRecordFlags = 1;
inline constexpr uint8_t kValueStartsFlag = 1;
inline constexpr size_t kClassicValueRecordSize = 116;
inline constexpr size_t kClassicValuePayloadMax = 112;
inline constexpr size_t kV2ValueRecordHeaderSize = 4;
inline constexpr size_t kV2ValuePayloadMax = 16777215;

// The content units of a splittable value (characters of a text, code units of a wide
// text, bytes of a byte string); 0 for every other type.
size_t ValueContentUnits(const RtdValue& value);

// How many content units one classic record carries for the value's type: 111
// characters, 55 wide units or 112 bytes; 0 for types that are never split.
size_t ClassicRecordCapacity(const RtdValue& value);

// Writes the classic record of `value` into `record` (at least 116 bytes): for a
// splittable value the content from unit `offset` on, as much as fits; for any
// other value the whole value (`offset` ignored). Types that never travel (10, 14,
// unknown codes) are written as an empty record. Unused record bytes are zeroed.
// Returns the content units written.
size_t WriteClassicValueRecord(std::span<uint8_t> record, const RtdValue& value, size_t offset = 0);

// Decodes a classic record; `record` is the record as far as the message holds it.
// Texts end at their NUL or at the end of the payload area; a byte count is cut to
// the payload area; a record too short for its payload, or of a type that does not
// travel, gives an empty value.
RtdValue ReadClassicValueRecord(std::span<const uint8_t> record);

// Size of the V2 record of `value` (4 + payload length), or 0 when the payload would
// exceed 16,777,215 bytes (such a value is not sent).
size_t V2ValueRecordSize(const RtdValue& value);

// Writes the V2 record of `value` into `record`, which must hold
// V2ValueRecordSize(value) bytes. Types that never travel are written as empty.
// Returns the bytes written, or 0 (nothing written) when the value is too long or
// `record` too small.
size_t WriteV2ValueRecord(std::span<uint8_t> record, const RtdValue& value);

// True when `record` is byte for byte what WriteV2ValueRecord writes for `value`, the
// value ReadV2ValueRecord made of it: such a record may be passed on as it stands.
bool IsCanonicalV2Record(std::span<const uint8_t> record, const RtdValue& value);

// Decodes a V2 record; `record` is the rest of the message. Gives an empty value for
// length 0, a type other than 0-9, 12 or 13, a number whose length is not its size
// (4, 8 or 1), or a length beyond the end of the message.
RtdValue ReadV2ValueRecord(std::span<const uint8_t> record);

}  // namespace orvex
