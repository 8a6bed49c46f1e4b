#include "platform/debug_output.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/test_seams.h"
#include "syslog_lines.h"
#include "write_all.h"

namespace orvex::platform {
namespace {

// The sink is looked up on every call so a test (or a user) can point it elsewhere
// while the process runs; the file stays open until the name changes.
struct Sink {
  std::mutex lock;
  std::string path;
  int fd = -1;
};

Sink& TheSink() {
  static Sink* sink = new Sink;  // lives until the process ends
  return *sink;
}

}  // namespace

void DebugOutput(const char* text) {
  if (text == nullptr) return;
  const char* target = FollowedVariable("ORVEX_DEBUG_OUTPUT");
  if (target == nullptr || *target == '\0') {
    thread_local SyslogLineComposer composer;
    std::string record;
    if (composer.Add(text, &record)) syslog(LOG_DEBUG, "%s", record.c_str());
    return;
  }
  Sink& sink = TheSink();
  std::lock_guard<std::mutex> guard(sink.lock);
  if (std::strcmp(target, "-") == 0) {
    posix::WriteAll(STDERR_FILENO, text, std::strlen(text));
    return;
  }
  if (sink.fd < 0 || sink.path != target) {
    if (sink.fd >= 0) close(sink.fd);
    sink.path = target;
    sink.fd = open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
  if (sink.fd >= 0) posix::WriteAll(sink.fd, text, std::strlen(text));
}

}  // namespace orvex::platform
