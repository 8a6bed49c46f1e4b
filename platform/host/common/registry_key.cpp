// The parts of a registry key's life both backends share: the handle state moves with
// the key and is released through the backend's Close.
#include <utility>

#include "platform/registry.h"

namespace orvex::platform {

RegistryKey::~RegistryKey() {
  Close();
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
  }
  return *this;
}

}  // namespace orvex::platform
