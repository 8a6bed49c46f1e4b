#include "tools/vantel_source.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace orvex::vantel {

namespace {

// True when all of `text` is a whole number strtoll accepts; *out gets it.
bool ParseWhole(const std::string& text, int64_t* out) {
  // strtoll skips leading blanks; the whole text must be the number.
  if (text.empty() || text[0] == ' ' || text[0] == '\t') return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

bool ParseDecimal(const std::string& text, double* out) {
  if (text.empty()) return false;
  // strtod also takes "inf", "nan" and hexadecimal forms; a person typing those
  // means text.
  for (char c : text) {
    const bool ok =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!ok) return false;
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

}  // namespace

RtdValue ParseValueText(std::string_view text, bool force_text) {
  RtdValue value;
  const std::string s(text);
  if (force_text) {
    value.SetText(s);
    return value;
  }
  int64_t whole = 0;
  double decimal = 0;
  if (s.empty()) {
    return value;
  } else if (s == "true" || s == "false") {
    value.SetBool(s == "true" ? 1 : 0);
  } else if (ParseWhole(s, &whole)) {
    if (whole >= std::numeric_limits<int32_t>::min() &&
        whole <= std::numeric_limits<int32_t>::max()) {
      value.SetInt32(static_cast<int32_t>(whole));
    } else {
      value.SetInt64(whole);
    }
  } else if (ParseDecimal(s, &decimal)) {
    value.SetDouble(decimal);
  } else {
    value.SetText(s);
  }
  return value;
}

std::string TypeName(const RtdValue& value) {
  switch (value.TypeCode()) {
    case 0:
      return "empty";
    case 1:
      return "int32";
    case 2:
      return "int64";
    case 3:
      return "double";
    case 4:
      return "bool";
    case 5:
      return "text";
    case 6:
      return "wtext";
    case 7:
      return "bytes";
    case 8:
      return "date";
    case 9:
      return "datetime";
    case 10:
      return "textlist";
    case 12:
      return "text2";
    case 13:
      return "wtext2";
    case 14:
      return "list";
    default:
      return "type" + std::to_string(value.TypeCode());
  }
}

bool ConstantSource::Next(RtdValue* out) {
  *out = value_;
  return true;
}

bool CounterSource::Next(RtdValue* out) {
  out->SetInt32(next_);
  next_ = static_cast<int32_t>(static_cast<uint32_t>(next_) + static_cast<uint32_t>(step_));
  return true;
}

RandomWalkSource::RandomWalkSource(double start, double step, uint32_t seed)
    : current_(start), engine_(seed), move_(-std::fabs(step), std::fabs(step)) {}

bool RandomWalkSource::Next(RtdValue* out) {
  if (!first_) current_ += move_(engine_);
  first_ = false;
  out->SetDouble(current_);
  return true;
}

std::unique_ptr<ValueSource> MakeSource(std::string_view kind, const std::string& value,
                                        bool force_text, double start, double step, uint32_t seed) {
  if (kind == "const") return std::make_unique<ConstantSource>(ParseValueText(value, force_text));
  if (kind == "counter") {
    return std::make_unique<CounterSource>(static_cast<int32_t>(start), static_cast<int32_t>(step));
  }
  if (kind == "walk") return std::make_unique<RandomWalkSource>(start, step, seed);
  return nullptr;
}

}  // namespace orvex::vantel
