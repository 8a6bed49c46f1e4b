#pragma once
// Detecting the product's programs and Excel and asking them to close. Nothing is ever
// terminated: a program is asked by window message and the process list is polled
// until it has gone or a time limit passes. Each call blocks its thread meanwhile.
#include <cstdint>
#include <string>

namespace orvex::system {

class WindowEnumerator;

inline constexpr char kDravikModule[] = "Dravik.exe";
inline constexpr char kCorvaneModule[] = "Corvane.exe";
inline constexpr char kTavBusAppModule[] = "TavBusAppW.exe";
inline constexpr char kTavPublisherModule[] = "TavPublisher.exe";
inline constexpr char kTavWatchdogModule[] = "TavWatchdogW.exe";

// Whether a process this user can open runs an executable of that base name (without
// regard to case; POSIX: a trailing ".exe" is optional on either side, so "Corvane.exe"
// finds `corvane`). False when the process list cannot be read.
bool IsProcessRunning(const std::string& module_name);

// When `module_name` runs: one run of `enumerator`, then polls every 300 ms until the
// process has gone or `limit_ms` have passed since the call. True when it is not
// running at the end (at once, sending nothing, when it was not running at all).
bool CloseProgramAndWait(const std::string& module_name, WindowEnumerator& enumerator,
                         uint32_t limit_ms);

// CloseProgramAndWait for each program with its module, enumerator and limit.
bool CloseDravikAndWait();                         // 5000 ms
bool CloseCorvaneAndWait(uint32_t limit_ms);       // "Orvex RTD Bus" windows
bool CloseTavBusAppAndWait(uint32_t limit_ms);     // "Orvex Tav Bus" windows
bool CloseTavPublisherAndWait(uint32_t limit_ms);  // "Tav Publisher" windows
bool CloseTavWatchdogAndWait();                    // 10000 ms

// One WM_CLOSE to every Excel main window, no waiting: 1 when the windows could be
// listed, -1 when not.
int QuitExcelOnce();

// Number of Excel main windows, -1 when the windows could not be listed.
int CountExcelWindows();

// One WM_CLOSE to every Excel main window, then polls every 200 ms while any remains,
// up to `limit_ms` (0: no waiting). 1 when none remains, 0 when some do, -1 when the
// first enumeration failed.
int QuitExcelAndWait(uint32_t limit_ms);

}  // namespace orvex::system
