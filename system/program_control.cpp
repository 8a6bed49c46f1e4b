// Closing programs by window message and waiting for their processes to go.
#include "system/program_control.h"

#include <vector>

#include "platform/clock.h"
#include "platform/process_list.h"
#include "system/window_enumerators.h"

namespace orvex::system {

namespace {

constexpr uint32_t kProgramPollMs = 300;
constexpr uint32_t kExcelPollMs = 200;
constexpr uint32_t kDravikLimitMs = 5000;
constexpr uint32_t kTavWatchdogLimitMs = 10000;

// The Excel count of one enumeration; -1 when the windows could not be listed.
int ExcelWindows() {
  ExcelCountEnumerator count;
  return count.Run() ? count.count() : -1;
}

}  // namespace

bool IsProcessRunning(const std::string& module_name) {
  std::vector<std::string> modules;
  if (!platform::ListProcessModules(&modules)) return false;
  for (const std::string& listed : modules) {
    if (platform::SameModuleName(listed, module_name)) return true;
  }
  return false;
}

bool CloseProgramAndWait(const std::string& module_name, WindowEnumerator& enumerator,
                         uint32_t limit_ms) {
  const uint32_t t0 = platform::TickCount();
  if (!IsProcessRunning(module_name)) return true;
  enumerator.Run();
  while (IsProcessRunning(module_name)) {
    if (platform::TickCount() - t0 >= limit_ms) break;
    platform::SleepMs(kProgramPollMs);
  }
  return !IsProcessRunning(module_name);
}

bool CloseDravikAndWait() {
  DravikQuitEnumerator enumerator;
  return CloseProgramAndWait(kDravikModule, enumerator, kDravikLimitMs);
}

bool CloseCorvaneAndWait(uint32_t limit_ms) {
  CorvaneQuitEnumerator enumerator;
  return CloseProgramAndWait(kCorvaneModule, enumerator, limit_ms);
}

bool CloseTavBusAppAndWait(uint32_t limit_ms) {
  TavBusWAppQuitEnumerator enumerator;
  return CloseProgramAndWait(kTavBusAppModule, enumerator, limit_ms);
}

bool CloseTavPublisherAndWait(uint32_t limit_ms) {
  TavPublisherQuitEnumerator enumerator;
  return CloseProgramAndWait(kTavPublisherModule, enumerator, limit_ms);
}

bool CloseTavWatchdogAndWait() {
  TavWatchdogQuitEnumerator enumerator;
  return CloseProgramAndWait(kTavWatchdogModule, enumerator, kTavWatchdogLimitMs);
}

int QuitExcelOnce() {
  ExcelQuitEnumerator quit;
  return quit.Run() ? 1 : -1;
}

int CountExcelWindows() {
  return ExcelWindows();
}

int QuitExcelAndWait(uint32_t limit_ms) {
  const uint32_t t0 = platform::TickCount();
  ExcelQuitEnumerator quit;
  if (!quit.Run()) return -1;
  // Excel may ask about unsaved workbooks: the close is sent once, then only counted.
  while (platform::TickCount() - t0 < limit_ms && ExcelWindows() > 0) {
    platform::SleepMs(kExcelPollMs);
  }
  return ExcelWindows() > 0 ? 0 : 1;
}

}  // namespace orvex::system
