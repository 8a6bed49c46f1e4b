#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/security.h"

namespace orvex::platform {

// A manual-reset event: once set it stays set, releasing every waiter, until reset.
// Named events are shared between processes; unnamed ones are private to the process.
struct EventObject;

enum class WaitResult { kSignalled, kTimedOut, kFailed };

// Creates a named event (non-signalled) or attaches to an existing one, setting
// *already_existed. nullptr on failure; release with CloseEvent.
EventObject* CreateNamedEvent(const std::string& name, const SecurityAttributes* security,
                              bool* already_existed);

// Opens an existing named event; nullptr (creating nothing) when none exists.
EventObject* OpenNamedEvent(const std::string& name);

// Creates a private, non-signalled event with default security.
EventObject* CreateUnnamedEvent();

// Set releases every current waiter and keeps the event signalled; Reset clears it.
void SetEvent(EventObject* event);
void ResetEvent(EventObject* event);

// Waits up to `timeout_ms` (kInfinite: no limit) for the event to be signalled. A
// waiter already waiting when the event is set is released even if it is reset at once.
WaitResult WaitEvent(EventObject* event, uint32_t timeout_ms);

// Waits up to `timeout_ms` (kInfinite: no limit) until any of the `count` events is
// signalled and answers the index of one that is (the lowest on Windows), -1 on time-out
// and -2 on failure (a null event, or more than kMaxWaitEvents). Nothing is reset.
inline constexpr size_t kMaxWaitEvents = 64;
int WaitAnyEvent(EventObject* const* events, size_t count, uint32_t timeout_ms);

void CloseEvent(EventObject* event);

}  // namespace orvex::platform
