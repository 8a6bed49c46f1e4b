#include "syslog_lines.h"

#include <cstring>

namespace orvex::platform {

bool SyslogLineComposer::Add(const char* text, std::string* record) {
  const size_t length = std::strlen(text);
  pending_.append(text, length);
  const bool ends_line = length > 0 && text[length - 1] == '\n';
  if (!ends_line && pending_.size() < kMaxRecord) return false;
  if (ends_line) pending_.pop_back();
  record->swap(pending_);
  pending_.clear();
  return true;
}

}  // namespace orvex::platform
