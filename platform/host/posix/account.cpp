// The user's name on POSIX: the password database.
#include "platform/account.h"

#include <pwd.h>
#include <unistd.h>

#include "platform/test_seams.h"

namespace orvex::platform {

std::string CurrentUserName() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
    return entry->pw_name;
  }
  const char* user = FollowedVariable("USER");
  return user ? user : "";
}

}  // namespace orvex::platform
