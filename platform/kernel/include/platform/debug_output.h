#pragma once

namespace orvex::platform {

// Writes `text` as it is to the debugger output. Windows: OutputDebugStringA. POSIX:
// the file named by ORVEX_DEBUG_OUTPUT ("-" is standard error), else syslog at debug
// level. Lost without error when nobody listens. Any thread.
void DebugOutput(const char* text);

}  // namespace orvex::platform
