#pragma once
// The systemd unit file of a service: its text and how it is written.
#include <string>

namespace orvex::platform {

// The unit text running `executable_path` (one pair of surrounding double quotes is
// taken off) as a simple service described by `display_name`. The path is one quoted
// word with '\\' and '"' escaped and the specifier and variable signs '%' and '$'
// doubled, so a blank, '%' or '$' in it stays part of the path. False when either text
// holds a control character (a line feed would add lines to the unit).
bool ServiceUnitText(const std::string& executable_path, const std::string& display_name,
                     std::string* text);

// Creates the unit file with mode 0644 whatever the umask; false when anything of that
// name exists (a link included) or the text cannot be written whole.
bool WriteServiceUnitFile(const std::string& path, const std::string& text);

// Replaces the unit file at `path` whole: the text goes to a new file of an
// unpredictable name beside it (mode 0644, created exclusively, never through a link),
// which is then renamed over `path` (a link there is replaced, not followed). False,
// with nothing changed, when the new file cannot be written or renamed.
bool ReplaceServiceUnitFile(const std::string& path, const std::string& text);

}  // namespace orvex::platform
