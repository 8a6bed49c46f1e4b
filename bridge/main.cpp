// orvex-bridge: carries topics between the local bus and NATS, so a feed that runs on
// one machine reaches cells on others.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/bridge.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop = true;
}

// Log lines go to standard error and, when configured, to a file (flushed per line,
// so a killed bridge leaves a complete log).
class LineLog {
 public:
  bool Open(const std::string& path) {
    if (path.empty()) return true;
    file_.open(path, std::ios::app);
    return file_.is_open();
  }
  void Write(const std::string& line) {
    // gmtime's result is shared by all threads: only under the lock.
    std::lock_guard<std::mutex> hold(lock_);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    std::cerr << stamp << " orvex-bridge: " << line << std::endl;
    if (file_.is_open()) file_ << stamp << " " << line << std::endl;
  }

 private:
  std::mutex lock_;
  std::ofstream file_;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace orvex::bridge;
  CLI::App app{
      "orvex-bridge: carries topics between the local Orvex RTD Bus and NATS.\n"
      "Topics @SID:ITEM asked for on the bus are served from the subject PREFIX+ITEM;\n"
      "exported local topics are published to their subjects."};
  std::string config_path;
  app.add_option("-c,--config", config_path, "Configuration file of 'key = value' lines");
  // Every key of the file is also an option; given ones override the file.
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"servers", "NATS server URLs, comma-separated (a cluster): nats://host:port"},
      {"token", "Token for the NATS server"},
      {"user", "User name for the NATS server"},
      {"password", "Password for the NATS server"},
      {"sid", "Publisher SID the bridge registers on the bus (default NATS)"},
      {"name", "Client name shown on the bus and on the NATS server"},
      {"subject-prefix", "Prefix put before every topic's item to form its subject"},
      {"bucket", "JetStream key-value bucket holding each subject's last value"},
      {"export-file", "File of local topic texts to export, one per line"},
      {"bus", "Base name of the bus (default Local\\Vantel)"},
      {"link", "Bus link kind: classic or v2 (default v2)"},
      {"max-value-bytes", "Largest NATS payload taken as a value (default 1048576)"},
      {"log", "Also append log lines to this file"},
  };
  std::vector<std::string> values(keys.size());
  std::vector<CLI::Option*> options;
  for (size_t i = 0; i < keys.size(); ++i) {
    options.push_back(app.add_option("--" + keys[i].first, values[i], keys[i].second));
  }
  std::vector<std::string> exports;
  app.add_option("--export", exports, "A local topic text to export ('TOPIC [=> SUBJECT]')");
  CLI11_PARSE(app, argc, argv);

  BridgeConfig config;
  std::string error;
  if (!config_path.empty() && !LoadConfigFile(config_path, &config, &error)) {
    std::cerr << "orvex-bridge: " << error << "\n";
    return 2;
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    if (options[i]->count() > 0 && !ApplyConfigKey(keys[i].first, values[i], &config, &error)) {
      std::cerr << "orvex-bridge: --" << error << "\n";
      return 2;
    }
  }
  for (const std::string& line : exports) ApplyConfigKey("export", line, &config, &error);
  if (!ResolveExports(&config, &error)) {
    std::cerr << "orvex-bridge: " << error << "\n";
    return 2;
  }
  LineLog log;
  if (!log.Open(config.log_file)) {
    std::cerr << "orvex-bridge: cannot open the log file " << config.log_file << "\n";
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  Bridge bridge(config, [&](const std::string& line) { log.Write(line); });
  log.Write("bridging bus " + config.bus + " (SID " + config.sid + ") with NATS " +
            config.servers.front() + (config.servers.size() > 1 ? " and others" : ""));
  return bridge.Run(g_stop);
}
