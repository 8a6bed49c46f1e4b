#include "tests/bus_process.h"

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tests/named_signal.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"

namespace orvex::test {
namespace {

constexpr uint32_t kLifeMs = 120000;

ORVEX_CHILD_ROLE(bus_process) {
  RtdServer::Options options;
  options.base_name = args.at(0);
  options.shutdown_grace_ms = 50;
  RtdServer server(std::move(options));
  if (!server.listening()) return 2;
  platform::EventObject* ready = MakeSignalEvent(args.at(1));
  platform::SetEvent(ready);
  // The test kills the bus; a test that died first must not leave it behind for ever.
  const uint32_t start = platform::TickCount();
  while (platform::TickCount() - start < kLifeMs) platform::SleepMs(100);
  platform::CloseEvent(ready);
  return 0;
}

}  // namespace

platform::ProcessObject* SpawnBusProcess(const std::string& base, const std::string& ready) {
  return SpawnChild("bus_process", {base, ready});
}

}  // namespace orvex::test
