#include "platform/directory_link.h"

#include <unistd.h>

namespace orvex::platform {

bool MakeDirectoryLink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

bool RemoveDirectoryLink(const std::string& link) {
  return unlink(link.c_str()) == 0;
}

}  // namespace orvex::platform
