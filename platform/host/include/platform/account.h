#pragma once
#include <string>

namespace orvex::platform {

// The logged-on user's name (GetUserNameA, at most 255 characters; POSIX: the name of
// the effective user id, else $USER). Empty when unknown.
std::string CurrentUserName();

}  // namespace orvex::platform
