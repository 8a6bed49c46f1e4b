#include "registration/logon_entries.h"

#include "system/file_operations.h"
#include "system/program_launch.h"

namespace orvex {

namespace {

constexpr const char* kCleanupFolder = "TavXLUserCleanup";
constexpr const char* kCleanupProgram = "TavRegW.exe";

}  // namespace

bool InstallLogonEntry(SfxRegNode_AutoRunBase& entry, const std::string& folder, bool per_user) {
  // The program first: without one in the new folder the old entry is better than none.
  if (!entry.FindExe(folder)) return false;
  entry.Refresh();
  entry.Unregister();
  entry.Refresh();
  return entry.Register(per_user);
}

std::string CleanupCopyPath() {
  const std::string dir = system::GetLocalAppDataFolder(kCleanupFolder);
  return dir.empty() ? dir : system::JoinPath(dir, kCleanupProgram);
}

bool InstallCleanupEntry(SfxRegNode_AutoRunBase& entry, const std::string& folder) {
  if (!entry.FindExe(folder)) return false;
  const std::string dir = system::GetLocalAppDataFolder(kCleanupFolder);
  const std::string copy = CleanupCopyPath();
  if (dir.empty() || copy.empty() || !system::CreateFolder(dir) ||
      !system::CopyFileOver(entry.exe_path(), copy)) {
    return false;
  }
  entry.Refresh();
  entry.set_command_path(copy);
  return entry.Register(true);
}

bool StartProgram(SfxRegNode_AutoRunBase& entry, const std::string& folder) {
  if (!entry.FindExe(folder)) return false;
  entry.Refresh(false);
  // Named by its full path, so no search (PATH, current directory) picks another one.
  const std::string program = system::AbsolutePathOf(entry.exe_path());
  return !program.empty() && system::LaunchProcess(program, "", entry.CommandLine());
}

}  // namespace orvex
