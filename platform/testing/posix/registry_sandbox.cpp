// Test registry on POSIX: a temporary store folder named by ORVEX_REGISTRY_DIR.
#include "platform/registry_sandbox.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "registry_store.h"

namespace orvex::platform {

namespace {

std::optional<std::string> g_saved_dir;
std::optional<std::string> g_saved_flag;

std::optional<std::string> Saved(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

}  // namespace

bool RegistrySandbox::KeepsViews() {
  return true;
}
bool RegistrySandbox::ValuesInCreationOrder() {
  return true;
}

RegistrySandbox::RegistrySandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvex-registry-XXXXXX";
  if (!mkdtemp(pattern.data())) return;
  location_ = pattern;
  g_saved_dir = Saved("ORVEX_REGISTRY_DIR");
  g_saved_flag = Saved("ORVEX_REGISTRY_MACHINE_WRITABLE");
  setenv("ORVEX_REGISTRY_DIR", location_.c_str(), 1);
  setenv("ORVEX_REGISTRY_MACHINE_WRITABLE", "1", 1);
  regstore::Store::ReleaseAll();
  ok_ = true;
}

RegistrySandbox::~RegistrySandbox() {
  if (!ok_) return;
  regstore::Store::ReleaseAll();
  Restore("ORVEX_REGISTRY_DIR", g_saved_dir);
  Restore("ORVEX_REGISTRY_MACHINE_WRITABLE", g_saved_flag);
  nftw(location_.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);
}

}  // namespace orvex::platform
