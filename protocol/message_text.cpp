#include "protocol/message_text.h"

#include <algorithm>
#include <cstring>

#include "protocol/wire_format.h"

namespace orvex {
namespace {

std::string TextUpToNul(const uint8_t* p, size_t limit) {
  const void* nul = std::memchr(p, 0, limit);
  const size_t n =
      nul == nullptr ? limit : static_cast<size_t>(static_cast<const uint8_t*>(nul) - p);
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

std::string_view TextBeforeNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

size_t WriteCountedText(std::span<uint8_t> field, size_t c, std::string_view text) {
  text = TextBeforeNul(text);
  const size_t n = std::min(text.size(), c + 1);
  wire::StoreU16(field.data(), static_cast<uint16_t>(n));
  if (n != 0) std::memcpy(field.data() + 2, text.data(), n);
  field[2 + n] = 0;
  return n;
}

std::string ReadCountedText(std::span<const uint8_t> field) {
  if (field.size() <= 2) return {};
  return TextUpToNul(field.data() + 2, field.size() - 2);
}

size_t LongTextSize(std::string_view text) {
  return 4 + TextBeforeNul(text).size() + 1;
}

size_t WriteLongText(std::span<uint8_t> out, std::string_view text) {
  text = TextBeforeNul(text);
  wire::StoreU32(out.data(), static_cast<uint32_t>(text.size() + 1));
  if (!text.empty()) std::memcpy(out.data() + 4, text.data(), text.size());
  out[4 + text.size()] = 0;
  return text.size() + 5;
}

bool ReadLongText(std::span<const uint8_t> field, std::string* out) {
  if (field.size() < 4) return false;
  // N comes from the peer: never read past what the message holds.
  const size_t n = std::min<size_t>(wire::LoadU32(field.data()), field.size() - 4);
  *out = TextUpToNul(field.data() + 4, n);
  return true;
}

}  // namespace orvex
