#include "protocol/publisher_sid.h"

namespace orvex {

std::string NormalizeSid(std::string_view sid) {
  while (!sid.empty() && sid.back() == ' ') sid.remove_suffix(1);
  while (!sid.empty() && sid.front() == ' ') sid.remove_prefix(1);
  std::string out(sid);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace orvex
