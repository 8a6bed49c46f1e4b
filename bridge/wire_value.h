#pragma once
// Bus values as NATS messages: a plain-text payload any NATS tool can read and write,
// and the bus type in the header kTypeHeader.
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/rtd_value.h"

namespace orvex::bridge {

inline constexpr const char* kTypeHeader = "Orvex-Type";

struct WireValue {
  std::string type;  // the header's value ("double", "text", ...)
  std::string payload;
};

// The message for `value`. Every type the bus carries has a form; lists (which never
// travel on the bus) go as their printed text.
WireValue EncodeValue(const RtdValue& value);

// The bus value of a message. `type` is the header's value, or null when the message
// has none: then a payload that reads entirely as a finite number is a double, anything
// else a text. False, with *why saying what was wrong, for a payload above
// `max_bytes`, text that is not UTF-8, an unknown type, or a payload that does not
// read as its type.
bool DecodeValue(const std::string* type, std::string_view payload, size_t max_bytes, RtdValue* out,
                 std::string* why);

}  // namespace orvex::bridge
