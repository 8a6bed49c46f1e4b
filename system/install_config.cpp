#include "system/install_config.h"

namespace orvex::system {

std::string InstallConfigPath(const std::string&) {
  return {};
}
int WriteInstallConfig(const std::string&, const std::string&, const std::string&, std::string*) {
  return -1;
}
int DeleteInstallConfig(const std::string&, std::string*) {
  return -1;
}

}  // namespace orvex::system
