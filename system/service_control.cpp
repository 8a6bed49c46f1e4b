#include "system/service_control.h"

namespace orvex::system {

bool IsServiceInstalled(const std::string&) {
  return false;
}
bool IsServiceRunning(const std::string&) {
  return false;
}
bool StartServiceByName(const std::string&) {
  return false;
}
bool StopServiceByName(const std::string&) {
  return false;
}
bool InstallService(const std::string&, const std::string&, const std::string&) {
  return false;
}
bool UninstallService(const std::string&) {
  return false;
}

}  // namespace orvex::system
