#pragma once
#include <string>

#include "platform/event.h"

namespace orvex {

// The one way rings and acceptors get their manual-reset events. With a name: `open`
// opens an existing event (null when none), otherwise the event is created
// non-signalled with the shared security attributes (or attached to). Without a name:
// `open` gives no event; otherwise a private event with default security is created.
// The caller owns the result and frees it with platform::CloseEvent.
platform::EventObject* MakeNamedEvent(const std::string& name, bool open);

}  // namespace orvex
