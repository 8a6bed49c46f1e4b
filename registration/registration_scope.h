#pragma once
// Names for the scope flags of the registration nodes and flows, so a call says which
// entries it touches instead of passing a bare true or false.

namespace orvex {

// Register(per_user, ...), UnregisterAll(per_user), IsRegistered(per_user): the
// current user's entries, or the all-users ones.
inline constexpr bool kPerUser = true;
inline constexpr bool kAllUsers = false;

// Unregister(per_user_only): only the current user's entries, or every place.
inline constexpr bool kPerUserOnly = true;
inline constexpr bool kEveryPlace = false;

}  // namespace orvex
