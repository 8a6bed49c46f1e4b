#include "system/program_control.h"

#include "system/window_enumerators.h"

namespace orvex::system {

bool IsProcessRunning(const std::string&) {
  return false;
}
bool CloseProgramAndWait(const std::string&, WindowEnumerator&, uint32_t) {
  return true;
}
bool CloseDravikAndWait() {
  return true;
}
bool CloseCorvaneAndWait(uint32_t) {
  return true;
}
bool CloseTavBusAppAndWait(uint32_t) {
  return true;
}
bool CloseTavPublisherAndWait(uint32_t) {
  return true;
}
bool CloseTavWatchdogAndWait() {
  return true;
}
int QuitExcelOnce() {
  return -1;
}
int CountExcelWindows() {
  return -1;
}
int QuitExcelAndWait(uint32_t) {
  return -1;
}

}  // namespace orvex::system
