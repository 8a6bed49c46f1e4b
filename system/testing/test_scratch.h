#pragma once
// Test helpers: a private folder under the temporary folder, removed with everything in
// it at the end of the test, and small file readers.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "system/file_operations.h"
#include "tests/support/child_process.h"

namespace orvex::test {

class ScratchFolder {
 public:
  ScratchFolder() : path_(system::JoinPath(system::GetTempFolder(), UniqueName("orvex_sys"))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return system::JoinPath(path_, name); }

 private:
  std::string path_;
};

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

// Whether this build talks to Windows (natively or under Wine).
inline bool WindowsBackend() {
  return system::JoinPath("a", "b") == "a\\b";
}

}  // namespace orvex::test
