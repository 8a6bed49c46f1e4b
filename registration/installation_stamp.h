#pragma once
#include <string>

#include "registration/product_nodes.h"

// The installation time stamps of one product ("Oxlade" or "TavXL"): the all-users
// "TimeStamp" is the local time of the all-users registration; the per-user one is a
// copy of it taken when the user's own registration was made, so that a differing
// copy tells a log-on run that a new all-users installation happened.
namespace orvex {

class InstallationStamp {
 public:
  explicit InstallationStamp(const std::string& product);

  // Per user: copies the all-users value (empty when there is none) into the user's
  // key; for all users: writes the current local time ("%Y-%m-%d.%X"). True when written.
  bool Write(bool per_user, bool view64);
  // The all-users and the per-user value (missing ones read as empty) are equal.
  bool Equal(bool view64);
  // Removes the all-users key from every place.
  bool RemoveAllUsers();
  // Removes the per-user key (both views) of the current user.
  bool RemoveCurrentUser();

  // The local time as the all-users value writes it.
  static std::string Now();

 private:
  std::string ReadValue(bool per_user, bool view64);

  std::string key_path_;
};

}  // namespace orvex
