#include "protocol/value_record.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "protocol/wire_format.h"

namespace orvex {
namespace {

constexpr size_t kClassicTextCharsMax = kClassicValuePayloadMax - 1;
constexpr size_t kClassicWideUnitsMax = kClassicValuePayloadMax / 2 - 1;

// Payload size of the number types; 0 for the others.
size_t FixedPayloadSize(uint8_t type) {
  switch (static_cast<RtdValueType>(type)) {
    case RtdValueType::kInt32:
    case RtdValueType::kDate:
      return 4;
    case RtdValueType::kInt64:
    case RtdValueType::kDouble:
    case RtdValueType::kDateTime:
      return 8;
    case RtdValueType::kBool:
      return 1;
    default:
      return 0;
  }
}

// Writes the payload of a number type at `p` (which holds FixedPayloadSize bytes).
void StoreFixedPayload(uint8_t* p, const RtdValue& value) {
  switch (value.Type()) {
    case RtdValueType::kInt32:
      wire::StoreU32(p, static_cast<uint32_t>(value.Int32()));
      break;
    case RtdValueType::kDate:
      wire::StoreU32(p, static_cast<uint32_t>(value.Date()));
      break;
    case RtdValueType::kInt64:
      wire::StoreU64(p, static_cast<uint64_t>(value.Int64()));
      break;
    case RtdValueType::kDateTime:
      wire::StoreU64(p, static_cast<uint64_t>(value.DateTime()));
      break;
    case RtdValueType::kDouble:
      wire::StoreF64(p, value.Double());
      break;
    case RtdValueType::kBool:
      p[0] = value.BoolByte();
      break;
    default:
      break;
  }
}

// Writes `units` wide units from `text` at `p`, little-endian.
void StoreWideUnits(uint8_t* p, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) wire::StoreU16(p + 2 * i, text[i]);
}

// Builds a value of `type` from `payload`, whose size the caller has checked for the
// number types. Texts end at their terminator or at the payload's end.
RtdValue DecodePayload(uint8_t type, std::span<const uint8_t> payload) {
  RtdValue v;
  const uint8_t* p = payload.data();
  switch (static_cast<RtdValueType>(type)) {
    case RtdValueType::kInt32:
      v.SetInt32(static_cast<int32_t>(wire::LoadU32(p)));
      break;
    case RtdValueType::kDate:
      v.SetDate(static_cast<int32_t>(wire::LoadU32(p)));
      break;
    case RtdValueType::kInt64:
      v.SetInt64(static_cast<int64_t>(wire::LoadU64(p)));
      break;
    case RtdValueType::kDateTime:
      v.SetDateTime(static_cast<int64_t>(wire::LoadU64(p)));
      break;
    case RtdValueType::kDouble:
      v.SetDouble(wire::LoadF64(p));
      break;
    case RtdValueType::kBool:
      v.SetBool(p[0]);
      break;
    case RtdValueType::kText:
    case RtdValueType::kText2:
      // SetText stops at the NUL itself.
      v.SetText(std::string_view(reinterpret_cast<const char*>(p), payload.size()),
                static_cast<RtdValueType>(type));
      break;
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2: {
      std::u16string units;
      for (size_t i = 0; i + 1 < payload.size(); i += 2) {
        const char16_t unit = wire::LoadU16(p + i);
        if (unit == u'\0') break;
        units.push_back(unit);
      }
      v.SetWideText(units, static_cast<RtdValueType>(type));
      break;
    }
    case RtdValueType::kBytes:
      v.SetBytes(payload);
      break;
    default:
      break;
  }
  return v;
}

// Payload length of the V2 record of `value` (may exceed the V2 limit).
size_t V2PayloadSize(const RtdValue& value) {
  if (!IsWireType(value.TypeCode())) return 0;
  if (IsTextType(value.Type())) return value.Text().size() + 1;
  if (IsWideTextType(value.Type())) return 2 * value.WideText().size() + 2;
  if (value.Type() == RtdValueType::kBytes) return value.Bytes().size();
  return FixedPayloadSize(value.TypeCode());
}

}  // namespace

size_t ValueContentUnits(const RtdValue& value) {
  if (IsTextType(value.Type())) return value.Text().size();
  if (IsWideTextType(value.Type())) return value.WideText().size();
  if (value.Type() == RtdValueType::kBytes) return value.Bytes().size();
  return 0;
}

size_t ClassicRecordCapacity(const RtdValue& value) {
  if (IsTextType(value.Type())) return kClassicTextCharsMax;
  if (IsWideTextType(value.Type())) return kClassicWideUnitsMax;
  if (value.Type() == RtdValueType::kBytes) return kClassicValuePayloadMax;
  return 0;
}

size_t WriteClassicValueRecord(std::span<uint8_t> record, const RtdValue& value, size_t offset) {
  std::memset(record.data(), 0, kClassicValueRecordSize);
  if (!IsWireType(value.TypeCode()) || value.IsEmpty()) return 0;
  uint8_t* payload = record.data() + 4;
  record[0] = value.TypeCode();
  const size_t capacity = ClassicRecordCapacity(value);
  if (capacity == 0) {
    const size_t size = FixedPayloadSize(value.TypeCode());
    wire::StoreU16(record.data() + 2, static_cast<uint16_t>(size));
    StoreFixedPayload(payload, value);
    return 0;
  }
  const size_t total = ValueContentUnits(value);
  offset = std::min(offset, total);
  const size_t n = std::min(total - offset, capacity);
  size_t length = n;
  if (IsTextType(value.Type())) {
    std::memcpy(payload, value.Text().data() + offset, n);
    length = n + 1;  // the NUL is already there
  } else if (IsWideTextType(value.Type())) {
    StoreWideUnits(payload, value.WideText().substr(offset, n));
    length = 2 * n + 2;
  } else if (n != 0) {
    std::memcpy(payload, value.Bytes().data() + offset, n);
  }
  wire::StoreU16(record.data() + 2, static_cast<uint16_t>(length));
  return n;
}

RtdValue ReadClassicValueRecord(std::span<const uint8_t> record) {
  record = record.first(std::min(record.size(), kClassicValueRecordSize));
  if (record.size() < 4) return {};
  const uint8_t type = record[0];
  std::span<const uint8_t> payload = record.subspan(4);
  const size_t fixed = FixedPayloadSize(type);
  if (fixed != 0) {
    if (payload.size() < fixed) return {};
    return DecodePayload(type, payload.first(fixed));
  }
  if (type == static_cast<uint8_t>(RtdValueType::kBytes)) {
    // The count comes from the peer: cut it to the payload area.
    payload = payload.first(std::min<size_t>(wire::LoadU16(record.data() + 2), payload.size()));
  }
  return DecodePayload(type, payload);
}

size_t V2ValueRecordSize(const RtdValue& value) {
  const size_t payload = V2PayloadSize(value);
  if (payload > kV2ValuePayloadMax) return 0;
  return kV2ValueRecordHeaderSize + payload;
}

size_t WriteV2ValueRecord(std::span<uint8_t> record, const RtdValue& value) {
  const size_t size = V2ValueRecordSize(value);
  if (size == 0 || record.size() < size) return 0;
  const size_t length = size - kV2ValueRecordHeaderSize;
  record[0] = IsWireType(value.TypeCode()) ? value.TypeCode() : 0;
  wire::StoreU24(record.data() + 1, static_cast<uint32_t>(length));
  uint8_t* payload = record.data() + kV2ValueRecordHeaderSize;
  if (IsTextType(value.Type())) {
    std::memcpy(payload, value.Text().data(), value.Text().size());
    payload[value.Text().size()] = 0;
  } else if (IsWideTextType(value.Type())) {
    StoreWideUnits(payload, value.WideText());
    wire::StoreU16(payload + 2 * value.WideText().size(), 0);
  } else if (value.Type() == RtdValueType::kBytes) {
    if (length != 0) std::memcpy(payload, value.Bytes().data(), length);
  } else {
    StoreFixedPayload(payload, value);
  }
  return size;
}

RtdValue ReadV2ValueRecord(std::span<const uint8_t> record) {
  if (record.size() < kV2ValueRecordHeaderSize) return {};
  const uint8_t type = record[0];
  const size_t length = wire::LoadU24(record.data() + 1);
  if (length == 0 || !IsWireType(type)) return {};
  if (length > record.size() - kV2ValueRecordHeaderSize) return {};
  const size_t fixed = FixedPayloadSize(type);
  if (fixed != 0 && length != fixed) return {};
  return DecodePayload(type, record.subspan(kV2ValueRecordHeaderSize, length));
}

bool IsCanonicalV2Record(std::span<const uint8_t> record, const RtdValue& value) {
  const size_t size = V2ValueRecordSize(value);
  if (size == 0 || record.size() != size || record[0] != value.TypeCode() ||
      wire::LoadU24(record.data() + 1) != size - kV2ValueRecordHeaderSize) {
    return false;
  }
  // Texts and byte strings were read as they stand: with the length a re-encoding
  // would write, a text's terminator can only be its last unit.
  if (ValueContentUnits(value) != 0 || IsTextType(value.Type()) || IsWideTextType(value.Type()) ||
      value.Type() == RtdValueType::kBytes) {
    return true;
  }
  std::array<uint8_t, kV2ValueRecordHeaderSize + 8> canonical{};
  return WriteV2ValueRecord(canonical, value) == size &&
         std::memcmp(canonical.data(), record.data(), size) == 0;
}

}  // namespace orvex
