// The installation configuration file and its step report.
#include "system/install_config.h"

#include "platform/account.h"
#include "platform/file_attributes.h"
#include "platform/file_system.h"
#include "platform/known_folder.h"
#include "system/file_operations.h"

namespace orvex::system {

namespace {

constexpr char kWritePrefix[] = "RTD Config file ";
constexpr char kDeletePrefix[] = "RTD Un Config file ";
constexpr char kFileName[] = "arguments.txt";

// "<program data>/Orvex Data Services/" with native separators; empty when the
// program-data folder cannot be obtained.
std::string BaseFolder() {
  std::string program_data;
  if (!platform::GetKnownFolder(platform::KnownFolder::kProgramData, false, &program_data)) {
    return {};
  }
  const char sep = platform::PathSeparator();
  return program_data + sep + "Orvex Data Services" + sep;
}

std::string SettingsFolder(const std::string& base) {
  return base + "Settings" + platform::PathSeparator();
}

std::string FileNameFor(const std::string& scope) {
  return scope == "CU" ? platform::CurrentUserName() + "_" + kFileName : kFileName;
}

void Line(std::string* report, const char* prefix, const char* step) {
  *report += prefix;
  *report += step;
  *report += "\n";
}

}  // namespace

std::string InstallConfigPath(const std::string& scope) {
  const std::string base = BaseFolder();
  return base.empty() ? std::string() : JoinPath(SettingsFolder(base), FileNameFor(scope));
}

int WriteInstallConfig(const std::string& scope, const std::string& version,
                       const std::string& install_type, std::string* report) {
  Line(report, kWritePrefix, "Start");
  const std::string base = BaseFolder();
  const std::string settings = SettingsFolder(base);
  // Only these two levels are created; the program-data folder itself must exist.
  // Settings takes every user's own file, so anyone may add one there (sticky).
  if (base.empty() || !platform::EnsureGuardedFolder(base, false) ||
      !platform::EnsureGuardedFolder(settings, true)) {
    return -1;
  }
  Line(report, kWritePrefix, "Create config directory");
  const std::string file_name = FileNameFor(scope);
  Line(report, kWritePrefix, "Get config file name");
  const std::string path = JoinPath(settings, file_name);
  const std::string content = "Version=" + version + "\n" + "InstallType=" + install_type + "\n";
  Line(report, kWritePrefix, "Set content");
  // The rights are given with the new file itself, never afterwards by its path.
  if (path.empty() || !platform::WriteGuardedFile(path, content)) return -2;
  Line(report, kWritePrefix, "Write file");
  Line(report, kWritePrefix, "Set file permission");
  Line(report, kWritePrefix, "End");
  return 1;
}

int DeleteInstallConfig(const std::string& scope, std::string* report) {
  Line(report, kDeletePrefix, "Start");
  const std::string path = InstallConfigPath(scope);
  Line(report, kDeletePrefix, "Get config file name");
  // Without the program-data folder the path would be relative to the current
  // directory, and some unrelated file there would be deleted.
  if (path.empty()) return -1;
  if (platform::GetPathKind(path) != platform::PathKind::kFile) {
    *report += std::string(kDeletePrefix) + "File does not exist";
  } else if (platform::DeleteFileEntry(path)) {
    *report += std::string(kDeletePrefix) + "File deleted";
  } else {
    return -1;
  }
  *report += "\n";
  Line(report, kDeletePrefix, "End");
  return 1;
}

}  // namespace orvex::system
