#pragma once
#include <string>

namespace orvex::platform {

// Gives this process a private, empty registry for tests, so that tests can write
// the fixed keys the system uses (HKEY_CLASSES_ROOT\Excel.Application, ...) without
// touching the real ones or each other. POSIX: ORVEX_REGISTRY_DIR points at a new
// temporary folder whose machine store is writable. Windows: HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are overridden (RegOverridePredefKey) by
// keys below HKEY_CURRENT_USER\Software\OrvexTestSandbox\<unique>, so both views and
// the class merge collapse to one key there. One sandbox at a time, from one thread.
class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();  // removes everything the sandbox held and restores the roots
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  bool ok() const { return ok_; }
  // True when the 64-bit and the default view stay apart and HKEY_CLASSES_ROOT still
  // merges user and machine keys (POSIX); the Windows overrides collapse them.
  static bool KeepsViews();
  // True when values are known to enumerate in creation order: the POSIX store
  // promises it; Windows does so in practice, but Wine lists them by name.
  static bool ValuesInCreationOrder();
  // POSIX: the store folder (child processes inherit it through the environment).
  // Windows: the sandbox key path under HKEY_CURRENT_USER.
  const std::string& location() const { return location_; }

 private:
  bool ok_ = false;
  std::string location_;
};

}  // namespace orvex::platform
