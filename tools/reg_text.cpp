#include "tools/reg_text.h"

#include <algorithm>
#include <cstdio>

namespace orvex::tools {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool PlainText(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  return std::none_of(data.begin(), data.end() - 1,
                      [](uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

}  // namespace

std::string RegValueLine(std::string_view name, uint32_t type, const std::vector<uint8_t>& data) {
  std::string line = name.empty() ? "@=" : Quoted(name) + "=";
  char buffer[32];
  if (type == kRegSz && PlainText(data)) {
    return line +
           Quoted(std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
  }
  if (type == kRegDword && data.size() == 4) {
    const uint32_t n =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
    return line + buffer;
  }
  if (type == kRegBinary) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    line += buffer;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", data[i]);
    line += buffer;
  }
  return line;
}

}  // namespace orvex::tools
