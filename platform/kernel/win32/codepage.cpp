#include "platform/codepage.h"

#include <windows.h>

#include <string>

namespace orvex::platform {

std::string WideToAnsi(std::u16string_view text) {
  const size_t zero = text.find(u'\0');
  if (zero != std::u16string_view::npos) text = text.substr(0, zero);
  if (text.empty()) return {};
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  const int count = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, units, count, nullptr, 0, "?", nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, units, count, out.data(), needed, "?", nullptr);
  // Callers size their output at one byte per unit; a double-byte code page may need
  // more, and the excess is cut as a buffer of that size would cut it.
  if (out.size() > text.size()) out.resize(text.size());
  return out;
}

}  // namespace orvex::platform
