#include "registry/reg_value.h"

#include <algorithm>

namespace orvex {

SfRegValue SfRegValue::String(std::string_view name, std::string_view text) {
  SfRegValue value{std::string(name), kRegSz, {}};
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  return value;
}

SfRegValue SfRegValue::Dword(std::string_view name, uint32_t number) {
  SfRegValue value{std::string(name), kRegDword, {}};
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<uint8_t>(number >> shift));
  }
  return value;
}

bool SfRegValue::ToString(std::string* text) const {
  text->clear();
  if (type != kRegSz && type != kRegExpandSz) return false;
  const auto end = std::find(data.begin(), data.end(), uint8_t{0});
  text->assign(data.begin(), end);
  return true;
}

bool SfRegValue::ToDword(uint32_t* number) const {
  if (type != kRegDword || data.size() != 4) return false;
  *number = 0;
  for (int i = 3; i >= 0; --i) *number = *number << 8 | data[static_cast<size_t>(i)];
  return true;
}

}  // namespace orvex
