#include "bridge/wire_value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "bridge/wire_text.h"

namespace orvex::bridge {
namespace {

struct TypeName {
  RtdValueType type;
  const char* name;
};

constexpr TypeName kTypeNames[] = {
    {RtdValueType::kEmpty, "empty"},    {RtdValueType::kInt32, "int32"},
    {RtdValueType::kInt64, "int64"},    {RtdValueType::kDouble, "double"},
    {RtdValueType::kBool, "bool"},      {RtdValueType::kText, "text"},
    {RtdValueType::kWideText, "wtext"}, {RtdValueType::kBytes, "bytes"},
    {RtdValueType::kDate, "date"},      {RtdValueType::kDateTime, "datetime"},
    {RtdValueType::kText2, "text2"},    {RtdValueType::kWideText2, "wtext2"},
};

const char* NameOf(RtdValueType type) {
  for (const TypeName& t : kTypeNames) {
    if (t.type == type) return t.name;
  }
  return "text";
}

std::string FormatDouble(double v) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof(text), v);
  return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

template <typename T>
bool ParseWhole(std::string_view text, T* out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool Fail(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

// Texts must be UTF-8 on the NATS side, whatever their bus type.
bool DecodeText(RtdValueType type, std::string_view payload, RtdValue* out, std::string* why) {
  if (!IsValidUtf8(payload)) return Fail(why, "payload is not valid UTF-8");
  if (payload.find('\0') != std::string_view::npos) {
    return Fail(why, "text contains a NUL character");
  }
  if (IsWideTextType(type)) {
    out->SetWideText(*Utf8ToUtf16(payload), type);
  } else {
    out->SetText(payload, type);
  }
  return true;
}

bool DecodeTyped(RtdValueType type, std::string_view payload, RtdValue* out, std::string* why) {
  switch (type) {
    case RtdValueType::kEmpty:
      if (!payload.empty()) return Fail(why, "an empty value has a payload");
      out->Clear();
      return true;
    case RtdValueType::kInt32: {
      int32_t v = 0;
      if (!ParseWhole(payload, &v)) return Fail(why, "payload is not an int32");
      out->SetInt32(v);
      return true;
    }
    case RtdValueType::kInt64: {
      int64_t v = 0;
      if (!ParseWhole(payload, &v)) return Fail(why, "payload is not an int64");
      out->SetInt64(v);
      return true;
    }
    case RtdValueType::kDouble: {
      double v = 0;
      if (!ParseWhole(payload, &v)) return Fail(why, "payload is not a number");
      out->SetDouble(v);
      return true;
    }
    case RtdValueType::kBool:
      if (payload == "true" || payload == "1") {
        out->SetBool(1);
      } else if (payload == "false" || payload == "0") {
        out->SetBool(0);
      } else {
        return Fail(why, "payload is not true or false");
      }
      return true;
    case RtdValueType::kBytes: {
      const auto bytes = Base64Decode(payload);
      if (!bytes) return Fail(why, "payload is not base64");
      out->SetBytes(*bytes);
      return true;
    }
    case RtdValueType::kDate: {
      const auto days = ParseDate(payload);
      if (!days || *days > std::numeric_limits<int32_t>::max()) {
        return Fail(why, "payload is not a date YYYY-MM-DD");
      }
      out->SetDate(static_cast<int32_t>(*days));
      return true;
    }
    case RtdValueType::kDateTime: {
      const auto seconds = ParseDateTime(payload);
      if (!seconds) return Fail(why, "payload is not a date-time YYYY-MM-DDTHH:MM:SSZ");
      out->SetDateTime(*seconds);
      return true;
    }
    default:
      return DecodeText(type, payload, out, why);
  }
}

}  // namespace

WireValue EncodeValue(const RtdValue& value) {
  WireValue wire;
  wire.type = NameOf(value.Type());
  switch (value.Type()) {
    case RtdValueType::kEmpty:
      break;
    case RtdValueType::kInt32:
      wire.payload = std::to_string(value.Int32());
      break;
    case RtdValueType::kInt64:
      wire.payload = std::to_string(value.Int64());
      break;
    case RtdValueType::kDouble:
      wire.payload = FormatDouble(value.Double());
      break;
    case RtdValueType::kBool:
      wire.payload = value.BoolByte() != 0 ? "true" : "false";
      break;
    case RtdValueType::kText:
    case RtdValueType::kText2:
      // The bus's 8-bit texts are UTF-8 or, failing that, taken as ISO-8859-1.
      wire.payload =
          IsValidUtf8(value.Text()) ? std::string(value.Text()) : Latin1ToUtf8(value.Text());
      break;
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      wire.payload = Utf16ToUtf8(value.WideText());
      break;
    case RtdValueType::kBytes:
      wire.payload = Base64Encode(value.Bytes());
      break;
    case RtdValueType::kDate:
      wire.payload = FormatDate(value.Date());
      break;
    case RtdValueType::kDateTime:
      wire.payload = FormatDateTime(value.DateTime());
      break;
    default:
      wire.type = "text";
      wire.payload = value.ToText();
      if (!IsValidUtf8(wire.payload)) wire.payload = Latin1ToUtf8(wire.payload);
      break;
  }
  return wire;
}

bool DecodeValue(const std::string* type, std::string_view payload, size_t max_bytes, RtdValue* out,
                 std::string* why) {
  if (payload.size() > max_bytes) {
    return Fail(why, "payload of " + std::to_string(payload.size()) + " bytes exceeds the " +
                         std::to_string(max_bytes) + "-byte limit");
  }
  if (type == nullptr) {
    double v = 0;
    if (ParseWhole(payload, &v) && std::isfinite(v)) {
      out->SetDouble(v);
      return true;
    }
    return DecodeText(RtdValueType::kText, payload, out, why);
  }
  for (const TypeName& t : kTypeNames) {
    if (*type == t.name) return DecodeTyped(t.type, payload, out, why);
  }
  return Fail(why, "unknown " + std::string(kTypeHeader) + " '" + type->substr(0, 40) + "'");
}

}  // namespace orvex::bridge
