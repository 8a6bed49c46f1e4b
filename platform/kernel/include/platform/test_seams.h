#pragma once
// Environment variables an elevated run must not follow: the test seams
// (ORVEX_TEST_ELEVATION, ORVEX_REGISTRY_DIR, ORVEX_REGISTRY_MACHINE_WRITABLE,
// ORVEX_PROGRAMDATA_DIR, ORVEX_DEBUG_OUTPUT) and the invoking user's own places and
// names (HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR, TMPDIR, USER), which "sudo -E" or a
// service would hand to it unchecked.

namespace orvex::platform {

// The variable's value when this run follows it, else null (also when it is unset or
// empty). A build with test seams (ORVEX_TEST_SEAMS, the test builds) always follows
// it; any other build only while the process is not elevated (POSIX: the effective
// user is not root; Windows: the token is not elevated).
const char* FollowedVariable(const char* name);

}  // namespace orvex::platform
