#pragma once
// A real nats-server for tests: loopback only, on free ports, JetStream on with a store
// of its own, optionally one node of a local cluster. The Windows build (under Wine)
// starts the same Linux program through the Z: drive.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/process.h"

namespace orvex::bridge::test {

class NatsServer {
 public:
  NatsServer() = default;
  ~NatsServer();
  NatsServer(const NatsServer&) = delete;
  NatsServer& operator=(const NatsServer&) = delete;

  // True when the nats-server program exists here (tests skip without it).
  static bool Available();
  // Starts the server and waits until it answers. With `cluster_name`, the node
  // listens for routes on `cluster_port` and solicits `routes` (other nodes' cluster
  // ports). False when it did not come up.
  bool Start(const std::string& cluster_name = "", uint16_t cluster_port = 0,
             const std::vector<uint16_t>& routes = {});
  // Ends the server at once (SIGKILL) and waits until its port refuses connections.
  // Its store stays until the object goes.
  void Kill();
  // Starts the killed server again on the same port and store; false when it did not
  // come up.
  bool Restart();
  std::string url() const { return "nats://127.0.0.1:" + std::to_string(port_); }
  uint16_t port() const { return port_; }
  // The body of an HTTP GET of the monitoring endpoint `path` ("/connz?subs=1"), "" on
  // failure.
  std::string Monitor(const std::string& path) const;

 private:
  bool Spawn();

  platform::ProcessObject* process_ = nullptr;
  std::vector<std::string> args_;
  uint16_t port_ = 0;
  uint16_t monitor_port_ = 0;
  std::string dir_;  // the server's own folder (store, pid file, log), a host path
};

}  // namespace orvex::bridge::test
