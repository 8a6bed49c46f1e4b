#pragma once
// A registry that a test's child processes see and that the test may change. Natively
// a sandbox store, which children inherit through the environment. Under Wine a
// sandbox does not reach a child, so such tests run only in the throwaway prefix of
// scripts/wine-ctest.sh (which alone sets ORVEX_WINE_TEST_PREFIX) and remove the key
// trees they created; anywhere else they are skipped and never touch a real registry.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"

namespace orvex::test {

class ChildRegistry {
 public:
  ChildRegistry() = default;
  ChildRegistry(const ChildRegistry&) = delete;
  ChildRegistry& operator=(const ChildRegistry&) = delete;
  // Removes the trees named by RemoveAtEnd (Wine), then the sandbox (native).
  ~ChildRegistry() { Release(); }

  // True when there is such a registry (a native sandbox, or Wine's throwaway
  // prefix); false: the caller skips with kSkipReason.
  bool Own(bool windows_build) {
    windows_ = windows_build;
    if (!windows_) {
      sandbox_ = std::make_unique<platform::RegistrySandbox>();
      return sandbox_->ok();
    }
    return std::getenv("ORVEX_WINE_TEST_PREFIX") != nullptr;
  }
  // A key tree the test creates: under Wine it is deleted again by Release (natively
  // the sandbox goes as a whole).
  SfRegKeyPath RemoveAtEnd(RegRoot root, const std::string& path) {
    SfRegKeyPath key(root, path);
    if (windows_) trees_.push_back(key);
    return key;
  }
  // Call after the children that might still write have ended.
  void Release() {
    for (const auto& key : trees_) key.DeleteTree();
    trees_.clear();
    sandbox_.reset();
  }

  static constexpr const char* kSkipReason =
      "the registry a child sees is the real one: only in the throwaway prefix of "
      "scripts/wine-ctest.sh (ORVEX_WINE_TEST_PREFIX)";

 private:
  bool windows_ = false;
  std::unique_ptr<platform::RegistrySandbox> sandbox_;
  std::vector<SfRegKeyPath> trees_;
};

}  // namespace orvex::test
