// The test variables as a release build (no test seams) follows them: an elevated run
// ignores them all, an unprivileged run still takes them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/test_seams.h"
#include "test_users.h"

namespace orvex::platform {
namespace {

namespace users = posix::testing;

constexpr const char* kVariables[] = {"ORVEX_TEST_ELEVATION",
                                      "ORVEX_REGISTRY_DIR",
                                      "ORVEX_REGISTRY_MACHINE_WRITABLE",
                                      "ORVEX_PROGRAMDATA_DIR",
                                      "ORVEX_DEBUG_OUTPUT",
                                      "HOME",
                                      "XDG_DATA_HOME",
                                      "XDG_RUNTIME_DIR",
                                      "TMPDIR",
                                      "USER"};

// How many of the variables, each set to "/x", this process follows.
int Followed() {
  int count = 0;
  for (const char* name : kVariables) {
    const char* value = FollowedVariable(name);
    if (value != nullptr && std::string(value) == "/x") ++count;
  }
  return count;
}

TEST(ReleaseSeamsTest, AnElevatedRunIgnoresTheTestVariablesAnUnprivilegedOneFollowsThem) {
  if (geteuid() != 0) GTEST_SKIP() << users::kNeedsRoot;
  for (const char* name : kVariables) setenv(name, "/x", 1);
  EXPECT_EQ(Followed(), 0);
  const int as_user =
      users::WaitFor(users::StartAs(users::UnusedUid(53000), [] { return Followed(); }));
  EXPECT_EQ(as_user, static_cast<int>(std::size(kVariables)));
  // Set but empty counts as unset for everyone.
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(
      users::WaitFor(users::StartAs(users::UnusedUid(54000),
                                    [] { return FollowedVariable("TMPDIR") == nullptr ? 0 : 1; })),
      0);
  for (const char* name : kVariables) unsetenv(name);
}

}  // namespace
}  // namespace orvex::platform
