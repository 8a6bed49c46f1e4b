#pragma once
// The bridge's settings: a file of "key = value" lines, then command-line overrides
// through the same keys.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/subject_mapping.h"
#include "client/bus_client.h"

namespace orvex::bridge {

struct BridgeConfig {
  std::vector<std::string> servers{"nats://127.0.0.1:4222"};
  std::string token;
  std::string user;
  std::string password;
  std::string sid = "NATS";
  std::string name = "orvex-bridge";
  std::string subject_prefix;
  std::string bucket;
  // Export lines as given (topic, optionally "=> subject"); resolved by ResolveExports
  // once the prefix is final.
  std::vector<std::string> export_lines;
  std::vector<ExportEntry> exports;
  std::string bus = "Local\\Vantel";
  client::LinkKind link = client::LinkKind::kV2;
  size_t max_value_bytes = size_t{1} << 20;
  std::string log_file;
};

// Sets one key ("servers", "token", "user", "password", "sid", "name",
// "subject-prefix", "bucket", "export", "export-file", "bus", "link",
// "max-value-bytes", "log"). "export" adds a line; "export-file" adds the lines of a
// file. False with *error for an unknown key or a bad value.
bool ApplyConfigKey(std::string_view key, std::string_view value, BridgeConfig* config,
                    std::string* error);
// Applies every "key = value" line of `text`; blank lines and lines starting with '#'
// are skipped. False with *error naming the line.
bool ApplyConfigText(std::string_view text, BridgeConfig* config, std::string* error);
// Reads and applies the file at `path`.
bool LoadConfigFile(const std::string& path, BridgeConfig* config, std::string* error);
// Turns export_lines into exports with the final prefix. False with *error at the
// first bad line or a subject exported twice.
bool ResolveExports(BridgeConfig* config, std::string* error);

}  // namespace orvex::bridge
