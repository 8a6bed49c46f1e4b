#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace orvex {

using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegSz;

// A registry value: name (empty for the default value), type and raw bytes. Text
// values hold their characters and one zero byte; REG_DWORD the 4-byte little-endian
// number. Values read back keep whatever type and bytes the registry held.
struct SfRegValue {
  std::string name;
  uint32_t type = platform::kRegNone;
  std::vector<uint8_t> data;

  static SfRegValue String(std::string_view name, std::string_view text);
  static SfRegValue Dword(std::string_view name, uint32_t number);

  // REG_SZ or REG_EXPAND_SZ: stores the text up to the first zero byte and answers
  // true. Any other type: stores the empty text and answers false.
  bool ToString(std::string* text) const;
  // REG_DWORD of exactly four bytes: stores the number and answers true. Anything else
  // leaves *number alone and answers false.
  bool ToDword(uint32_t* number) const;
};

}  // namespace orvex
