#pragma once
// The two text encodings inside messages: the counted text TEXT(c) of classic
// messages and the long text LTEXT of V2 messages.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvex {

// Bytes a TEXT(c) field occupies: u16 count, up to c+1 characters and a NUL.
constexpr size_t CountedTextFieldSize(size_t c) {
  return c + 4;
}

// Writes TEXT(c) at the start of `field`, which must hold CountedTextFieldSize(c)
// bytes: at most c+1 characters of `text` (which ends at its first NUL), their count,
// and a NUL. Returns the number of characters copied.
size_t WriteCountedText(std::span<uint8_t> field, size_t c, std::string_view text);

// Reads the characters of a TEXT field up to their NUL, ignoring the count. `field`
// is the field as far as the message holds it; without a NUL the text ends there.
std::string ReadCountedText(std::span<const uint8_t> field);

// Bytes an LTEXT occupies: u32 N, then N = length + 1 bytes (the text and its NUL).
size_t LongTextSize(std::string_view text);

// Writes `text` (ending at its first NUL) as LTEXT at the start of `out`, which must
// hold LongTextSize(text) bytes. Returns the bytes written.
size_t WriteLongText(std::span<uint8_t> out, std::string_view text);

// Reads an LTEXT from `field` (the rest of the message). The text ends at its NUL,
// at the end of its N bytes, or at the end of the message, whichever comes first.
// Returns false when `field` cannot hold the 4-byte length.
bool ReadLongText(std::span<const uint8_t> field, std::string* out);

// Returns `text` up to its first NUL.
std::string_view TextBeforeNul(std::string_view text);

}  // namespace orvex
