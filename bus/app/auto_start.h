#pragma once
// Launching the configured publisher when a topic is requested while none is connected.
#include <string>

namespace orvex {

// Where the command line is configured: HKEY_CURRENT_USER key and string value.
inline constexpr const char* kAutoStartKey = "Software\\Orvex\\RTD";
inline constexpr const char* kAutoStartValue = "AutoStartPublisher";

// Reads the command line from "AutoStartPublisher" (at most 1024 bytes; text up to the
// first zero byte) and starts it minimised without waiting. Logs "Executing command
// line " + the line, then "Success" or "Failed" to BusLog. A missing key or value (or
// one too long for the buffer) launches and logs nothing. True when the program started.
// Called on the server thread.
bool LaunchAutoStartPublisher();

}  // namespace orvex
