// bus_host: runs one bus server on a base name of its choice until its stop event is
// set, for the multi-process tests, the benchmark and demos before the bus program
// exists.   bus_host NAME [STOP_EVENT]
// Exits 0 after a clean shutdown (stop event, SIGINT or SIGTERM), 1 when the bus could
// not listen.
#include <csignal>
#include <cstdio>
#include <string>

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "transport/named_event.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: bus_host NAME [STOP_EVENT]\n", stderr);
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  orvex::RtdServer::Options options;
  options.base_name = argv[1];
  options.shutdown_grace_ms = 100;
  orvex::RtdServer server(options);
  if (!server.listening()) {
    std::fputs("bus_host: the bus could not listen\n", stderr);
    return 1;
  }
  orvex::platform::EventObject* stop = argc > 2 ? orvex::MakeNamedEvent(argv[2], false) : nullptr;
  while (g_stop == 0) {
    if (stop != nullptr) {
      if (orvex::platform::WaitEvent(stop, 1000) == orvex::platform::WaitResult::kSignalled) break;
    } else {
      orvex::platform::SleepMs(1000);
    }
  }
  server.Shutdown(true, 3000);
  if (stop != nullptr) orvex::platform::CloseEvent(stop);
  return 0;
}
