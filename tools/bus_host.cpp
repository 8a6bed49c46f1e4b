// bus_host: runs one bus server on a base name of its choice until its stop event is
// set, for the multi-process tests, the benchmark and demos before the bus program
// exists.   bus_host NAME [STOP_EVENT] [--policy conflate|block] [--backlog BYTES]
//                    [--stall MS] [--stats FILE] [--ready EVENT]
// The options set the slow-reader policy, the bytes a link may have waiting and the
// stall limit under "block" (defaults: those of RtdServer::Options); --stats writes the
// number of values the bus conflated to FILE when it stops; --ready sets the named
// event EVENT once the bus listens, so clients started after it find the bus.
// At start it removes the objects nobody holds any more, as the bus program does.
// Exits 0 after a clean shutdown (stop event, SIGINT or SIGTERM), 1 when the bus could
// not listen, 2 on a bad command line.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/stale_objects.h"
#include "transport/named_event.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

}  // namespace

int main(int argc, char** argv) {
  orvex::RtdServer::Options options;
  std::vector<std::string> positional;
  std::string stats, ready;
  bool usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--policy" && has_value) {
      usage |= !orvex::ParseSlowPolicy(argv[++i], &options.slow_policy);
    } else if (arg == "--backlog" && has_value) {
      options.link_backlog_bytes = std::strtoull(argv[++i], nullptr, 10);
      usage |= options.link_backlog_bytes < orvex::LinkFlow::kMinBacklogBytes;
    } else if (arg == "--stats" && has_value) {
      stats = argv[++i];
    } else if (arg == "--ready" && has_value) {
      ready = argv[++i];
    } else if (arg == "--stall" && has_value) {
      options.stall_limit_ms = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
      usage |= options.stall_limit_ms == 0;
    } else if (arg.rfind("--", 0) == 0) {
      usage = true;
    } else {
      positional.push_back(arg);
    }
  }
  if (usage || positional.empty() || positional.size() > 2) {
    std::fputs(
        "usage: bus_host NAME [STOP_EVENT] [--policy conflate|block] [--backlog BYTES]"
        " [--stall MS] [--stats FILE] [--ready EVENT]\n",
        stderr);
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  options.base_name = positional[0];
  options.shutdown_grace_ms = 100;
  // As Corvane: what buses and clients killed before left behind goes first (POSIX).
  orvex::platform::SweepStaleObjects();
  orvex::RtdServer server(options);
  if (!server.listening()) {
    const std::string problem = orvex::platform::SharedObjectsProblem();
    std::fputs(
        ("bus_host: the bus could not listen" + (problem.empty() ? "" : ": " + problem) + "\n")
            .c_str(),
        stderr);
    return 1;
  }
  if (!ready.empty()) {
    orvex::platform::EventObject* event = orvex::MakeNamedEvent(ready, false);
    orvex::platform::SetEvent(event);
    orvex::platform::CloseEvent(event);
  }
  orvex::platform::EventObject* stop =
      positional.size() > 1 ? orvex::MakeNamedEvent(positional[1], false) : nullptr;
  while (g_stop == 0) {
    if (stop != nullptr) {
      if (orvex::platform::WaitEvent(stop, 1000) == orvex::platform::WaitResult::kSignalled) break;
    } else {
      orvex::platform::SleepMs(1000);
    }
  }
  server.Shutdown(true, 3000);
  if (!stats.empty()) {
    if (FILE* out = std::fopen(stats.c_str(), "w")) {
      std::fprintf(out, "%llu\n", static_cast<unsigned long long>(server.conflated_total()));
      std::fclose(out);
    }
  }
  if (stop != nullptr) orvex::platform::CloseEvent(stop);
  return 0;
}
