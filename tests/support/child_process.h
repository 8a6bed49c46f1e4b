#pragma once
// Multi-process tests re-run their own test binary in a "child role": a function
// registered under a name that runs instead of the tests and whose result is the
// child's exit code.
#include <string>
#include <vector>

#include "platform/process.h"

namespace orvex::test {

using ChildRole = int (*)(const std::vector<std::string>& args);

bool RegisterChildRole(const char* name, ChildRole role);

// Starts this test binary in `role` with `args`; null on failure.
platform::ProcessObject* SpawnChild(const std::string& role, const std::vector<std::string>& args);

// Starts a child, waits up to `timeout_ms` for it and returns its exit code (-1 when
// it could not start or did not end in time; it is then killed).
int RunChild(const std::string& role, const std::vector<std::string>& args,
             uint32_t timeout_ms = 30000);

// A name no other test process uses at the same time: `stem`, this process's id and a
// counter, so parallel test processes never share objects.
std::string UniqueName(const std::string& stem);

// Runs the role named on the command line, if any; sets *exit_code and returns true
// then. Used by the test main.
bool RunChildRoleIfRequested(int argc, char** argv, int* exit_code);

}  // namespace orvex::test

#define ORVEX_CHILD_ROLE(role_name)                                    \
  static int role_name##_child(const std::vector<std::string>& args);  \
  [[maybe_unused]] static const bool role_name##_registered =          \
      ::orvex::test::RegisterChildRole(#role_name, role_name##_child); \
  static int role_name##_child([[maybe_unused]] const std::vector<std::string>& args)
