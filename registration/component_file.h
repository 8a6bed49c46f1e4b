#pragma once
#include <string>

#include "system/file_operations.h"

// Where the registration nodes look for the product's files.
namespace orvex {

// The first file `name` in `folder` or, depth first, in its sub-folders; stores its
// full path in *path (cleared when none is found) and answers whether one was found.
inline bool FindComponentFile(const std::string& folder, const std::string& name,
                              std::string* path) {
  *path = folder.empty() ? std::string() : system::FindFileInTree(name, folder);
  return !path->empty();
}

// The folder of the running program (trailing separator kept); empty when unknown.
inline std::string RunningProgramFolder() {
  return system::GetModuleFolder();
}

}  // namespace orvex
