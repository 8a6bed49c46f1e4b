#include "bridge/testing/nats_server.h"

#include <filesystem>
#include <fstream>

#include "bridge/tcp_socket.h"
#include "platform/clock.h"
#include "tests/support/child_process.h"

namespace orvex::bridge::test {
namespace {

// Paths as the server sees them (host paths) and as this program opens them: the same
// on Linux; under Wine the host's root is the drive ORVEX_HOST_ROOT.
std::string Local(const std::string& host_path) {
  return ORVEX_HOST_ROOT + host_path;
}

bool Answers(uint16_t port) {
  std::string error;
  return ConnectTcp("127.0.0.1", port, 500, &error) != nullptr;
}

}  // namespace

bool NatsServer::Available() {
  return std::filesystem::exists(Local(ORVEX_NATS_SERVER));
}

bool NatsServer::Start(const std::string& cluster_name, uint16_t cluster_port,
                       const std::vector<uint16_t>& routes) {
  Kill();
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(Local(dir_), ignored);
  // A port picked free may be taken before the server binds it: try a few times.
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreeLoopbackPort();
    monitor_port_ = FreeLoopbackPort();
    dir_ = "/tmp/" + orvex::test::UniqueName("orvex-nats");
    std::filesystem::create_directories(Local(dir_));
    std::vector<std::string> args = {
        "-a", "127.0.0.1",   "-p", std::to_string(port_), "-m", std::to_string(monitor_port_),
        "-P", dir_ + "/pid", "-l", dir_ + "/log"};
    // JetStream in a cluster needs named nodes and a meta leader: the cluster tests
    // carry core messages only.
    if (cluster_name.empty()) args.insert(args.end(), {"-js", "-sd", dir_ + "/store"});
    if (!cluster_name.empty()) {
      args.insert(args.end(), {"--cluster_name", cluster_name, "--cluster",
                               "nats://127.0.0.1:" + std::to_string(cluster_port)});
      std::string list;
      for (const uint16_t route : routes) {
        list +=
            (list.empty() ? "" : ",") + std::string("nats://127.0.0.1:") + std::to_string(route);
      }
      if (!list.empty()) args.insert(args.end(), {"--routes", list});
    }
    args_ = args;
    if (Spawn()) return true;
    Kill();
    std::filesystem::remove_all(Local(dir_), ignored);
  }
  return false;
}

NatsServer::~NatsServer() {
  Kill();
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(Local(dir_), ignored);
}

bool NatsServer::Spawn() {
  process_ = platform::SpawnProcess(Local(ORVEX_NATS_SERVER), args_);
  if (process_ == nullptr) return false;
  const uint32_t start = platform::TickCount();
  while (platform::TickCount() - start < 15000) {
    if (Answers(port_) && !Monitor("/varz").empty()) return true;
    int code = 0;
    if (platform::WaitProcess(process_, 50, &code)) break;  // it gave up: port taken?
  }
  return false;
}

bool NatsServer::Restart() {
  Kill();
  return Spawn();
}

void NatsServer::Kill() {
  if (process_ == nullptr) return;
  // Through the server's own signal switch: a Wine process cannot end a Linux one.
  platform::ProcessObject* signal =
      platform::SpawnProcess(Local(ORVEX_NATS_SERVER), {"--signal", "stop=" + dir_ + "/pid"});
  if (signal != nullptr) {
    int code = 0;
    platform::WaitProcess(signal, 10000, &code);
    platform::CloseProcess(signal);
  }
  platform::KillProcess(process_);
  const uint32_t start = platform::TickCount();
  while (Answers(port_) && platform::TickCount() - start < 10000) platform::SleepMs(20);
  int code = 0;
  platform::WaitProcess(process_, 2000, &code);
  platform::CloseProcess(process_);
  process_ = nullptr;
}

std::string NatsServer::Monitor(const std::string& path) const {
  std::string error;
  std::unique_ptr<TcpSocket> socket = ConnectTcp("127.0.0.1", monitor_port_, 1000, &error);
  if (!socket || !socket->SendAll("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")) {
    return "";
  }
  std::string response;
  char buffer[16384];
  const uint32_t start = platform::TickCount();
  for (;;) {
    const int got = socket->Receive(buffer, sizeof(buffer), 200);
    if (got < 0) break;
    if (got > 0) response.append(buffer, static_cast<size_t>(got));
    if (platform::TickCount() - start > 5000) return "";
  }
  const size_t body = response.find("\r\n\r\n");
  if (response.compare(0, 12, "HTTP/1.1 200") != 0 &&
      response.compare(0, 12, "HTTP/1.0 200") != 0) {
    return "";
  }
  return body == std::string::npos ? "" : response.substr(body + 4);
}

}  // namespace orvex::bridge::test
