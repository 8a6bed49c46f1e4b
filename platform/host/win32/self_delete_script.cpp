// The self-delete script on Windows: a command script for cmd.
#include "platform/self_delete_script.h"

namespace orvex::platform {

namespace {

// cmd expands %...% in a script line even between quotes.
std::string PercentDoubled(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%') out += c;
    out += c;
  }
  return out;
}

}  // namespace

std::string SelfDeleteScriptSuffix() {
  return ".cmd";
}

std::string SelfDeleteScriptText(const std::string& executable_path, const std::string&,
                                 bool has_console) {
  std::string text = "@echo off\r\n";
  if (!has_console) text += "echo Self-Deleting non-console executable...\r\n";
  text += "ping -n 5 127.0.0.1 > nul\r\n";
  text += "del \"" + PercentDoubled(executable_path) + "\"\r\n";
  // The script deletes itself (%~f0) from a second interpreter once it has ended.
  text += "start /b \"\" cmd /c del \"%~f0\"";
  return text;
}

std::string SelfDeleteScriptCommand(const std::string& script_path) {
  return "\"" + script_path + "\"";
}

}  // namespace orvex::platform
