#include "system/file_operations.h"

namespace orvex::system {

std::string GetModulePath() {
  return {};
}
std::string GetModuleFolder() {
  return {};
}
std::string GetTempFolder() {
  return {};
}
std::string GetLocalAppDataFolder(const std::string&) {
  return {};
}
std::string JoinPath(const std::string&, const std::string&) {
  return {};
}
bool WriteNewFile(const std::string&, const std::string&) {
  return false;
}
bool CopyFileOver(const std::string&, const std::string&) {
  return false;
}
bool DeleteFileAt(const std::string&) {
  return false;
}
bool CreateFolder(const std::string&) {
  return false;
}
std::vector<std::string> ListSubfolders(const std::string&) {
  return {};
}
std::string FindFileInTree(const std::string&, const std::string&) {
  return {};
}

}  // namespace orvex::system
