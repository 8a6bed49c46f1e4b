#include "ui/window_registry.h"

#include <map>

namespace orvex::ui {

namespace {
std::map<platform::WindowHandle, CtrlBase*>& Entries() {
  static auto* entries = new std::map<platform::WindowHandle, CtrlBase*>;
  return *entries;
}
}  // namespace

WindowRegistry& WindowRegistry::Instance() {
  static auto* registry = new WindowRegistry;
  return *registry;
}

void WindowRegistry::Enter(platform::WindowHandle window, CtrlBase* wrapper) {
  if (window != nullptr) Entries()[window] = wrapper;
}

void WindowRegistry::Remove(platform::WindowHandle window, const CtrlBase* wrapper) {
  auto it = Entries().find(window);
  if (it != Entries().end() && it->second == wrapper) Entries().erase(it);
}

CtrlBase* WindowRegistry::Find(platform::WindowHandle window) const {
  auto it = Entries().find(window);
  return it == Entries().end() ? nullptr : it->second;
}

size_t WindowRegistry::size() const {
  return Entries().size();
}

}  // namespace orvex::ui
