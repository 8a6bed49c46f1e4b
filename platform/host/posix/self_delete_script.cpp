// The self-delete script on POSIX: an sh script with the same steps as the Windows one.
#include "platform/self_delete_script.h"

namespace orvex::platform {

namespace {

// Single quotes keep every byte literal; a quote inside is closed, escaped, reopened.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::string SelfDeleteScriptSuffix() {
  return ".sh";
}

std::string SelfDeleteScriptText(const std::string& executable_path, const std::string& script_path,
                                 bool has_console) {
  std::string text = "#!/bin/sh\n";
  if (!has_console) text += "echo Self-Deleting non-console executable...\n";
  text += "sleep 4\n";
  text += "rm -f " + ShellQuoted(executable_path) + "\n";
  text += "rm -f " + ShellQuoted(script_path);
  return text;
}

std::string SelfDeleteScriptCommand(const std::string& script_path) {
  return ". " + ShellQuoted(script_path);
}

}  // namespace orvex::platform
