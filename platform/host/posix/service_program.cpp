// A service program on POSIX: systemd's stop is SIGTERM.
#include "platform/service_program.h"

#include <signal.h>

#include "platform/clock.h"

namespace orvex::platform {

int RunServiceUntilStopped(const char*, uint32_t stop_delay_ms) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  int signal = 0;
  if (sigwait(&stop, &signal) != 0) return 1;
  SleepMs(stop_delay_ms);
  return 0;
}

}  // namespace orvex::platform
