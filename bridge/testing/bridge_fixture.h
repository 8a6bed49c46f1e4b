#pragma once
// Tests of orvex-bridge as a program: a real bus in the test process, real nats-server
// processes, the bridge in its own process, and bus and NATS clients of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bridge/nats_connection.h"
#include "bridge/testing/nats_server.h"
#include "bus/rtd_server.h"
#include "client/client_session.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "protocol/message_codes.h"
#include "tests/support/child_process.h"
#include "tests/support/wait_until.h"

namespace orvex::bridge::test {

using client::LinkKind;
using ::orvex::test::WaitUntil;

// Messages a NATS subscription of the test received, in order.
struct NatsInbox {
  std::mutex lock;
  std::vector<NatsOp> messages;

  size_t size() {
    std::lock_guard<std::mutex> hold(lock);
    return messages.size();
  }
  NatsOp at(size_t i) {
    std::lock_guard<std::mutex> hold(lock);
    return messages.at(i);
  }
};

class BridgeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!NatsServer::Available()) GTEST_SKIP() << "nats-server is missing: scripts/setup-deps.sh";
  }
  void TearDown() override {
    for (platform::ProcessObject* bridge : bridges_) {
      platform::KillProcess(bridge);
      int code = 0;
      platform::WaitProcess(bridge, 5000, &code);
      platform::CloseProcess(bridge);
    }
    nats_clients_.clear();
    sessions_.clear();
    buses_.clear();
    std::error_code ignored;
    for (const std::string& file : files_) std::filesystem::remove(file, ignored);
  }

  RtdServer* StartBus(const std::string& base) {
    RtdServer::Options options;
    options.base_name = base;
    options.shutdown_grace_ms = 50;
    buses_.push_back(std::make_unique<RtdServer>(std::move(options)));
    EXPECT_TRUE(buses_.back()->listening());
    return buses_.back().get();
  }

  // Starts orvex-bridge with `args` and a log file of its own (*log gets its path).
  platform::ProcessObject* StartBridge(std::vector<std::string> args, std::string* log) {
    *log = (std::filesystem::temp_directory_path() / (orvex::test::UniqueName("bridge") + ".log"))
               .string();
    files_.push_back(*log);
    args.insert(args.end(), {"--log", *log});
    std::string program = platform::CurrentExecutablePath();
    program = program.substr(0, program.find_last_of("/\\") + 1) + ORVEX_BRIDGE_PROGRAM;
    platform::ProcessObject* bridge = platform::SpawnProcess(program, args);
    EXPECT_NE(bridge, nullptr) << program;
    if (bridge != nullptr) bridges_.push_back(bridge);
    return bridge;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static bool LogHas(const std::string& log, const std::string& text, uint32_t timeout_ms = 15000) {
    return WaitUntil([&] { return ReadFile(log).find(text) != std::string::npos; }, timeout_ms);
  }

  client::ClientSession* BusClient(const std::string& base, LinkKind kind, const std::string& sid,
                                   bool publisher) {
    auto session = std::make_unique<client::ClientSession>();
    EXPECT_EQ(session->Connect(base, kind, 10000), client::kSessionOk);
    EXPECT_EQ(session->Register(sid, "bridge test", publisher, !publisher, 10000),
              client::kSessionOk);
    sessions_.push_back(std::move(session));
    return sessions_.back().get();
  }
  // The next message of `code` (classic form), others skipped; false on time-out.
  static bool Next(client::ClientSession* session, uint16_t code, client::BusReceived* out,
                   uint32_t timeout_ms = 15000) {
    const uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < timeout_ms) {
      if (session->Poll(out, 100) == client::kSessionOk &&
          client::ClassicCodeOf(out->code) == code) {
        return true;
      }
    }
    return false;
  }

  NatsConnection* NatsClient(const std::vector<std::string>& servers) {
    NatsOptions options;
    options.servers = servers;
    options.name = "bridge test";
    auto nats = std::make_unique<NatsConnection>();
    EXPECT_TRUE(nats->Start(options));
    EXPECT_TRUE(nats->WaitConnected(15000));
    nats_clients_.push_back(std::move(nats));
    return nats_clients_.back().get();
  }
  static void Collect(NatsConnection* nats, const std::string& subject, NatsInbox* inbox) {
    nats->Subscribe(subject, [inbox](const NatsOp& op) {
      std::lock_guard<std::mutex> hold(inbox->lock);
      inbox->messages.push_back(op);
    });
    EXPECT_TRUE(nats->Flush(10000));
  }
  static std::string TypeHeader(const std::string& type) {
    return FormatNatsHeaders({{"Orvex-Type", type}});
  }
  // The server lists a subscription to `subject` (of any client).
  static bool Subscribed(const NatsServer& server, const std::string& subject) {
    return server.Monitor("/connz?subs=1").find("\"" + subject + "\"") != std::string::npos;
  }

  std::vector<std::unique_ptr<RtdServer>> buses_;
  std::vector<std::unique_ptr<client::ClientSession>> sessions_;
  std::vector<std::unique_ptr<NatsConnection>> nats_clients_;
  std::vector<platform::ProcessObject*> bridges_;
  std::vector<std::string> files_;
};

}  // namespace orvex::bridge::test
