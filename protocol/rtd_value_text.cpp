// Text rendering of bus values.
#include <charconv>
#include <cstdio>
#include <string>

#include "platform/codepage.h"
#include "platform/utc_time.h"
#include "protocol/rtd_value.h"

namespace orvex {
namespace {

// A dump longer than this many bytes shows only kShownBytes of them, then "...".
constexpr size_t kFullDumpLimit = 338;
constexpr size_t kShownBytes = 335;
constexpr int64_t kSecondsPerDay = 86400;

template <typename Int>
std::string RenderDecimal(Int v) {
  char buf[24];
  // to_chars handles the most negative values, which naive negation would not.
  const auto res = std::to_chars(buf, buf + sizeof(buf), v);
  return std::string(buf, res.ptr);
}

std::string RenderDouble(double v) {
  char buf[30];
  std::snprintf(buf, sizeof(buf), "%g", v);
  return buf;
}

std::string RenderBytes(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const bool cut = bytes.size() > kFullDumpLimit;
  const size_t shown = cut ? kShownBytes : bytes.size();
  std::string out = "[";
  out.reserve(shown * 3 + 5);
  for (size_t i = 0; i < shown; ++i) {
    if (i != 0) out.push_back(' ');
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 0x0F]);
  }
  if (cut) out += "...";
  out.push_back(']');
  return out;
}

// A failed conversion prints zeros in every field.
platform::UtcFields BreakDownOrZero(int64_t seconds) {
  platform::UtcFields fields;
  if (!platform::BreakDownUtc(seconds, &fields)) fields = platform::UtcFields{};
  return fields;
}

std::string RenderDate(int32_t days) {
  // A date stands for its whole day; its noon is what gets converted.
  const auto f = BreakDownOrZero(static_cast<int64_t>(days) * kSecondsPerDay + kSecondsPerDay / 2);
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d", f.year, f.month, f.day);
  return buf;
}

std::string RenderDateTime(int64_t seconds) {
  const auto f = BreakDownOrZero(seconds);
  char buf[96];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return buf;
}

std::string RenderTextList(const RtdTextList& list) {
  std::string out = "{";
  for (const auto& entry : list) {
    out += "\n\t";
    out += entry ? *entry : std::string("<null>");
  }
  out += "\n}\n";
  return out;
}

std::string RenderValueList(const RtdValueList& list) {
  std::string out = "{";
  for (const RtdValue& element : list) {
    out += "\n\t";
    out += element.ToText();
  }
  out += "\n}\n";
  return out;
}

}  // namespace

std::string RtdValue::ToText() const {
  switch (Type()) {
    case RtdValueType::kEmpty:
      return "<Undefined>";
    case RtdValueType::kInt32:
      return RenderDecimal(Int32());
    case RtdValueType::kInt64:
      return RenderDecimal(Int64());
    case RtdValueType::kDouble:
      return RenderDouble(Double());
    case RtdValueType::kBool:
      return BoolByte() != 0 ? "true" : "false";
    case RtdValueType::kText:
    case RtdValueType::kText2:
      return std::string(Text());
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      return platform::WideToAnsi(WideText());
    case RtdValueType::kBytes:
      return RenderBytes(Bytes());
    case RtdValueType::kDate:
      return RenderDate(Date());
    case RtdValueType::kDateTime:
      return RenderDateTime(DateTime());
    case RtdValueType::kTextList:
      return RenderTextList(*TextList());
    case RtdValueType::kValueList:
      return RenderValueList(*ValueList());
  }
  return "<Unknown Type>";
}

}  // namespace orvex
