#include "transport/named_event.h"

#include "platform/security.h"

namespace orvex {

platform::EventObject* MakeNamedEvent(const std::string& name, bool open) {
  if (name.empty()) return open ? nullptr : platform::CreateUnnamedEvent();
  if (open) return platform::OpenNamedEvent(name);
  return platform::CreateNamedEvent(name, platform::SharedSecurityAttributes(), nullptr);
}

}  // namespace orvex
