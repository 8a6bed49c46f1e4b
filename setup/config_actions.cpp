#include "setup/config_actions.h"

#include <array>

#include "system/install_config.h"

namespace orvex {

namespace {

constexpr std::array<const char*, 5> kInstallTypes{"MSI_ALL", "MSI_NA", "EXE_ALL", "EXE_NA",
                                                   "EXE_MIX"};

// The scope must be spelled exactly; the message names what was given.
bool CheckScope(const std::string& scope, std::string* output) {
  if (scope == "CU" || scope == "AU") return true;
  *output += "Error args: " + scope + ". Expected: CU, AU.";
  return false;
}

bool CheckInstallType(const std::string& type, std::string* output) {
  for (const char* known : kInstallTypes) {
    if (type == known) return true;
  }
  *output += "Error args: " + type + ". Expected: MSI_ALL, MSI_NA, EXE_ALL, EXE_NA, EXE_MIX.";
  return false;
}

// The version is written as a line of its own: a line break or '=' would add or
// change settings behind the validated ones.
bool CheckVersion(const std::string& version, std::string* output) {
  if (version.find_first_of("\r\n=") == std::string::npos) return true;
  *output += "Error args: version. Expected: no line break and no '=' in the version.";
  return false;
}

}  // namespace

int ConfigFileAction(const ArgvList& args, std::string* output) {
  const std::string scope = args.Arg(2);
  const std::string install_type = args.Arg(4);
  if (!CheckScope(scope, output) || !CheckInstallType(install_type, output) ||
      !CheckVersion(args.Arg(3), output)) {
    return -1;
  }
  return system::WriteInstallConfig(scope, args.Arg(3), install_type, output);
}

int UnConfigFileAction(const ArgvList& args, std::string* output) {
  const std::string scope = args.Arg(2);
  if (!CheckScope(scope, output)) return -1;
  return system::DeleteInstallConfig(scope, output);
}

}  // namespace orvex
