#include "system/self_delete.h"

namespace orvex::system {

std::string SelfDeleteScriptPath(const std::string&) {
  return {};
}
std::string SelfDeleteScriptText(const std::string&, const std::string&, bool) {
  return {};
}
bool SelfDelete() {
  return false;
}

}  // namespace orvex::system
