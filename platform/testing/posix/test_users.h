#pragma once
// Other users for the cross-user tests of the POSIX backend. Needs root: a forked child
// drops to an unused uid (no account has to be created), so "the victim" and "the
// attacker" are real, distinct users to the kernel.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvex::platform::posix::testing {

inline constexpr const char* kNeedsRoot =
    "needs root to act as two other users (run the suite as root, as CI does)";

// A uid no account uses and no earlier run left folders for, from `from` upwards and
// different for each test process, so parallel runs do not meet.
inline uid_t UnusedUid(uid_t from) {
  for (uid_t uid = from + static_cast<uid_t>(getpid() % 1000) * 8;; ++uid) {
    const std::string id = std::to_string(uid);
    if (getpwuid(uid) == nullptr && !std::filesystem::exists("/dev/shm/orvex-" + id) &&
        !std::filesystem::exists("/tmp/orvex-" + id) &&
        !std::filesystem::exists("/run/user/" + id)) {
      return uid;
    }
  }
}

// Starts `body` in a forked child running as `uid` (real, effective and saved ids, and
// a group of the same number); its result is the child's exit code.
inline pid_t StartAs(uid_t uid, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
      setresuid(uid, uid, uid) != 0) {
    _exit(120);
  }
  _exit(body());
}

// The exit code of `pid`; -1 when it died of a signal, -2 when it did not end within
// `timeout_ms` (it is killed then: a hung victim fails its test instead of hanging it).
inline int WaitFor(pid_t pid, uint32_t timeout_ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -2;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

inline int RunAs(uid_t uid, const std::function<int()>& body, uint32_t timeout_ms = 10000) {
  return WaitFor(StartAs(uid, body), timeout_ms);
}

// Removes what the test users left in the shared folders.
inline void RemoveFoldersOf(uid_t uid) {
  std::error_code ignored;
  std::filesystem::remove_all("/dev/shm/orvex-" + std::to_string(uid), ignored);
  std::filesystem::remove_all("/tmp/orvex-" + std::to_string(uid), ignored);
}

// Two fresh users, the victim and the attacker, and clean-up of what they leave in the
// shared folders (and in `extra_`). Skips the test when not run as root.
class TwoUsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << kNeedsRoot;
    victim_ = UnusedUid(61000);
    attacker_ = UnusedUid(victim_ + 1);
  }
  void TearDown() override {
    if (geteuid() != 0) return;
    RemoveFoldersOf(victim_);
    RemoveFoldersOf(attacker_);
    std::error_code ignored;
    for (const auto& extra : extra_) std::filesystem::remove_all(extra, ignored);
  }
  uid_t victim_ = 0;
  uid_t attacker_ = 0;
  std::vector<std::string> extra_;
};

}  // namespace orvex::platform::posix::testing
