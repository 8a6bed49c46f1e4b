// Test registry on Windows: the predefined roots overridden by private keys.
#include "platform/registry_sandbox.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace orvex::platform {

namespace {

constexpr const char* kSandboxParent = "Software\\OrvexTestSandbox";

struct Override {
  HKEY root;
  const char* name;
};
const Override kOverrides[] = {
    {HKEY_CURRENT_USER, "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKLM"},
    {HKEY_CLASSES_ROOT, "HKCR"},
};

std::atomic<unsigned> g_counter{0};

}  // namespace

bool RegistrySandbox::KeepsViews() {
  return false;
}
bool RegistrySandbox::ValuesInCreationOrder() {
  return false;
}

RegistrySandbox::RegistrySandbox() {
  location_ = std::string(kSandboxParent) + "\\" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(GetTickCount()) + "_" + std::to_string(g_counter++);
  HKEY keys[3] = {};
  bool made = true;
  for (int i = 0; i < 3; ++i) {
    const std::string path = location_ + "\\" + kOverrides[i].name;
    made = made &&
           RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &keys[i], nullptr) == ERROR_SUCCESS;
  }
  // HKEY_CURRENT_USER is overridden last: the other keys were created through it.
  for (int i = 2; made && i >= 0; --i) {
    made = RegOverridePredefKey(kOverrides[i].root, keys[i]) == ERROR_SUCCESS;
  }
  for (HKEY key : keys) {
    if (key) RegCloseKey(key);
  }
  ok_ = made;
}

RegistrySandbox::~RegistrySandbox() {
  for (const Override& o : kOverrides) RegOverridePredefKey(o.root, nullptr);
  RegDeleteTreeA(HKEY_CURRENT_USER, location_.c_str());
}

}  // namespace orvex::platform
