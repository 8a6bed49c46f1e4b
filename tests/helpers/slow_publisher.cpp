// A stand-in for a publisher that is slow to come up, started by the auto-start tests:
// it waits, without a message loop, until the named event argv[2] is set (at most 20 s),
// then appends "started" (or "never released") to the file argv[1]. On Windows it is a
// GUI-subsystem program, the kind WinExec waits for until its first idle moment.
#include <fstream>

#include "platform/event.h"
#include "transport/named_event.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  orvex::platform::EventObject* go = orvex::MakeNamedEvent(argv[2], true);
  const bool released =
      orvex::platform::WaitEvent(go, 20000) == orvex::platform::WaitResult::kSignalled;
  orvex::platform::CloseEvent(go);
  std::ofstream(argv[1], std::ios::app) << (released ? "started\n" : "never released\n");
  return 0;
}
