#pragma once
// Text forms used on the NATS side: UTF-8 checks and conversions, base64, ISO dates.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::bridge {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; nullopt when `text` is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// Each byte taken as ISO-8859-1, as UTF-8.
std::string Latin1ToUtf8(std::string_view text);

std::string Base64Encode(std::span<const uint8_t> bytes);
// Standard alphabet with padding; nullopt for anything else.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);

// Days since 1970-01-01 as "YYYY-MM-DD" and back (years 0000-9999).
std::string FormatDate(int64_t days);
std::optional<int64_t> ParseDate(std::string_view text);
// Seconds since 1970-01-01T00:00:00 UTC as "YYYY-MM-DDTHH:MM:SSZ" and back.
std::string FormatDateTime(int64_t seconds);
std::optional<int64_t> ParseDateTime(std::string_view text);

}  // namespace orvex::bridge
