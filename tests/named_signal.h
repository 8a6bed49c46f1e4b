#pragma once
// The named events a test and its child processes signal each other with.
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "tests/support/wait_until.h"
#include "transport/named_event.h"

namespace orvex::test {

// Creates or opens the named event `name`, trying again for up to `timeout_ms`: on a
// loaded machine another process of the user can hold the name lock longer than one
// attempt waits, which says nothing about what the test looks at. Null when the time
// ran out.
inline platform::EventObject* MakeSignalEvent(const std::string& name,
                                              uint32_t timeout_ms = 15000) {
  platform::EventObject* event = nullptr;
  WaitUntil([&] { return (event = MakeNamedEvent(name, false)) != nullptr; }, timeout_ms, 5);
  return event;
}

// Sets the named event `name` once and lets it go; false when it could not be made.
inline bool SetSignalEvent(const std::string& name) {
  platform::EventObject* event = MakeSignalEvent(name);
  if (event == nullptr) return false;
  platform::SetEvent(event);
  platform::CloseEvent(event);
  return true;
}

}  // namespace orvex::test
