#include "bridge/bridge_config.h"

#include <charconv>
#include <fstream>
#include <set>
#include <sstream>

#include "base/no_case.h"
#include "base/trim_space.h"

namespace orvex::bridge {
namespace {

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = TrimSpace(text.substr(0, comma));
    if (!item.empty()) items.emplace_back(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return items;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

// True when `topic` is "@SID1,SID2:ITEM" and one of the SIDs is `sid` (upper case).
bool AddressesSid(std::string_view topic, const std::string& sid) {
  if (topic.empty() || topic.front() != '@') return false;
  const size_t colon = topic.find(':');
  if (colon == std::string_view::npos) return false;
  for (const std::string& each : SplitList(topic.substr(1, colon - 1))) {
    if (ToUpperAscii(each) == sid) return true;
  }
  return false;
}

bool Bad(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

}  // namespace

bool ApplyConfigKey(std::string_view key, std::string_view value, BridgeConfig* config,
                    std::string* error) {
  value = TrimSpace(value);
  if (key == "servers") {
    config->servers = SplitList(value);
    if (config->servers.empty()) return Bad(error, "servers: no server given");
  } else if (key == "token") {
    config->token = value;
  } else if (key == "user") {
    config->user = value;
  } else if (key == "password") {
    config->password = value;
  } else if (key == "sid") {
    if (value.empty() || value.size() > 9) return Bad(error, "sid: 1 to 9 characters");
    config->sid = value;
  } else if (key == "name") {
    config->name = value;
  } else if (key == "subject-prefix") {
    config->subject_prefix = value;
  } else if (key == "bucket") {
    if (!value.empty() && !IsValidBucketName(value)) {
      return Bad(error, "bucket: letters, digits, '-' and '_' only");
    }
    config->bucket = value;
  } else if (key == "export") {
    config->export_lines.emplace_back(value);
  } else if (key == "export-file") {
    std::string text;
    if (!ReadWholeFile(std::string(value), &text)) {
      return Bad(error, "export-file: cannot read " + std::string(value));
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const std::string_view trimmed = TrimSpace(line);
      if (!trimmed.empty() && trimmed.front() != '#') config->export_lines.emplace_back(trimmed);
    }
  } else if (key == "bus") {
    if (value.empty()) return Bad(error, "bus: empty name");
    config->bus = value;
  } else if (key == "link") {
    if (value == "classic") {
      config->link = client::LinkKind::kClassic;
    } else if (value == "v2") {
      config->link = client::LinkKind::kV2;
    } else {
      return Bad(error, "link: classic or v2");
    }
  } else if (key == "max-value-bytes") {
    size_t bytes = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), bytes);
    if (ec != std::errc() || end != value.data() + value.size() || bytes == 0) {
      return Bad(error, "max-value-bytes: a positive number");
    }
    config->max_value_bytes = bytes;
  } else if (key == "log") {
    config->log_file = value;
  } else {
    return Bad(error, "unknown key '" + std::string(key) + "'");
  }
  return true;
}

bool ApplyConfigText(std::string_view text, BridgeConfig* config, std::string* error) {
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = TrimSpace(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    std::string why;
    if (equals == std::string_view::npos) {
      why = "expected key = value";
    } else if (ApplyConfigKey(TrimSpace(line.substr(0, equals)), line.substr(equals + 1), config,
                              &why)) {
      continue;
    }
    return Bad(error, "line " + std::to_string(number) + ": " + why);
  }
  return true;
}

bool LoadConfigFile(const std::string& path, BridgeConfig* config, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text)) return Bad(error, "cannot read " + path);
  if (!ApplyConfigText(text, config, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool ResolveExports(BridgeConfig* config, std::string* error) {
  config->exports.clear();
  const std::string own_sid = ToUpperAscii(TrimSpace(config->sid));
  std::set<std::string> subjects;
  for (const std::string& line : config->export_lines) {
    ExportEntry entry;
    std::string why;
    if (!ParseExportLine(line, config->subject_prefix, &entry, &why)) {
      return Bad(error, "export '" + line + "': " + why);
    }
    if (AddressesSid(entry.topic, own_sid)) {
      // The bridge would read back its own imports and publish them again, forever.
      return Bad(error, "export '" + line + "': topics of the bridge's own SID " + own_sid +
                            " cannot be exported");
    }
    if (!subjects.insert(entry.subject).second) {
      return Bad(error, "export '" + line + "': subject " + entry.subject + " exported twice");
    }
    config->exports.push_back(std::move(entry));
  }
  return true;
}

}  // namespace orvex::bridge
