#pragma once
#include <cstddef>
#include <string>

namespace orvex::platform {

// Joins the pieces of one trace line ("DBG", ": ", the text, "\n") into one syslog
// record, since syslog makes every call a record of its own. Add() answers true and
// fills `record` (without the final line feed) when a piece ends the line; a line that
// grows past kMaxRecord bytes without ending is passed on in parts of that size.
// One composer per thread.
class SyslogLineComposer {
 public:
  static constexpr size_t kMaxRecord = 8192;
  bool Add(const char* text, std::string* record);

 private:
  std::string pending_;
};

}  // namespace orvex::platform
