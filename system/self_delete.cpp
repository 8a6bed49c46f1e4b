// Deleting the running executable through a script that outlives it.
#include "system/self_delete.h"

#include <cstdlib>

#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/self_delete_script.h"
#include "system/file_operations.h"
#include "system/program_launch.h"

namespace orvex::system {

namespace {

std::string FileName(const std::string& path) {
  const size_t separator = path.rfind(platform::PathSeparator());
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string Stem(const std::string& path) {
  const std::string name = FileName(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string Directory(const std::string& path) {
  const size_t separator = path.rfind(platform::PathSeparator());
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

std::string SelfDeleteScriptPrefix(const std::string& executable_path) {
  return JoinPath(GetTempFolder(), Stem(executable_path) + "_delete_");
}

std::string SelfDeleteScriptText(const std::string& executable_path, const std::string& script_path,
                                 bool has_console) {
  return platform::SelfDeleteScriptText(executable_path, script_path, has_console);
}

bool SelfDelete(int exit_code) {
  const std::string executable = GetModulePath();
  if (executable.empty()) return false;
  const std::string prefix = SelfDeleteScriptPrefix(executable);
  const bool console = platform::HasConsoleWindow();
  std::string script;
  if (prefix.empty() ||
      !platform::CreateUniqueFile(
          prefix, platform::SelfDeleteScriptSuffix(),
          [&](const std::string& path) { return SelfDeleteScriptText(executable, path, console); },
          &script)) {
    return false;
  }
  if (!RunCommandScript(platform::SelfDeleteScriptCommand(script), Directory(executable))) {
    DeleteFileAt(script);
    return false;
  }
  // The script pauses before it deletes, so this process has ended by then.
  std::exit(exit_code);
}

}  // namespace orvex::system
