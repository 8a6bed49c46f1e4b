#include "system/program_launch.h"

namespace orvex::system {

bool LaunchProcess(const std::string&, const std::string&, const std::string&) {
  return false;
}
bool RunCommandScript(const std::string&, const std::string&) {
  return false;
}
bool StartCommand(const std::string&, const std::string&) {
  return false;
}

}  // namespace orvex::system
