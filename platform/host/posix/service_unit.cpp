#include "service_unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "write_all.h"

namespace orvex::platform {

namespace {

bool HasControlCharacter(const std::string& text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

// '%' starts a specifier wherever systemd expands them; in a command '$' starts a
// variable too.
std::string EscapeSigns(const std::string& text, bool command) {
  std::string out;
  for (char c : text) {
    if (c == '%' || (command && c == '$')) out += c;
    if (command && (c == '\\' || c == '"')) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

bool ServiceUnitText(const std::string& executable_path, const std::string& display_name,
                     std::string* text) {
  std::string path = executable_path;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = path.substr(1, path.size() - 2);
  }
  if (path.empty() || HasControlCharacter(path) || HasControlCharacter(display_name)) {
    return false;
  }
  *text = "[Unit]\nDescription=" + EscapeSigns(display_name, false) +
          "\n\n[Service]\nType=simple\nExecStart=\"" + EscapeSigns(path, true) +
          "\"\n\n[Install]\nWantedBy=multi-user.target\n";
  return true;
}

namespace {

// Fills a new file; removes it again when that fails.
bool FillNewUnitFile(int fd, const std::string& path, const std::string& text) {
  if (fd < 0) return false;
  // The mode of a new file is narrowed by the umask, not widened: set it outright.
  bool ok = fchmod(fd, 0644) == 0 && posix::WriteAll(fd, text.data(), text.size());
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
}

}  // namespace

bool WriteServiceUnitFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  return FillNewUnitFile(fd, path, text);
}

bool ReplaceServiceUnitFile(const std::string& path, const std::string& text) {
  const size_t slash = path.find_last_of('/');
  std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                          "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  // mkostemp: created exclusively (a link of that name is never followed), mode 0600.
  if (!FillNewUnitFile(mkostemp(temporary.data(), O_CLOEXEC), temporary, text)) return false;
  if (rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace orvex::platform
