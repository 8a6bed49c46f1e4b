#pragma once
// A NATS core-protocol client: connects to the first server of a list that answers,
// keeps the connection (reconnecting with backoff through the whole list), replays its
// subscriptions after each reconnect, publishes with or without headers and makes
// request/reply calls through an inbox.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/nats_parser.h"
#include "bridge/tcp_socket.h"

namespace orvex::bridge {

struct NatsServerAddress {
  std::string host;
  uint16_t port = 4222;
};

// "nats://host:port", "host:port" or "host" (port 4222). False for anything else.
bool ParseNatsUrl(const std::string& url, NatsServerAddress* out);

struct NatsOptions {
  std::vector<std::string> servers;  // URLs, tried in order
  std::string name = "orvex-bridge";
  std::string token;
  std::string user;
  std::string password;
  uint32_t connect_timeout_ms = 2000;
  // Backoff between rounds through the server list: first, doubled up to the most.
  uint32_t reconnect_min_ms = 100;
  uint32_t reconnect_max_ms = 2000;
  // Bytes a Publish may leave queued for the socket before it is refused.
  size_t max_pending_bytes = size_t{8} << 20;
  // Largest payload kept from the server; larger ones reach handlers as oversized.
  size_t max_payload = size_t{64} << 20;
  // Lines worth a log (connects, losses, server errors). Called from internal threads.
  std::function<void(const std::string&)> log;
  // Called with true once connected (subscriptions replayed), false when the link is
  // lost. Called from the connection's thread; must not block on the connection.
  std::function<void(bool)> on_state;
};

using NatsHandler = std::function<void(const NatsOp&)>;

class NatsConnection {
 public:
  NatsConnection() = default;
  ~NatsConnection() { Stop(); }
  NatsConnection(const NatsConnection&) = delete;
  NatsConnection& operator=(const NatsConnection&) = delete;

  // Starts connecting in the background. False when no server URL parses.
  bool Start(NatsOptions options);
  // Closes the connection and stops its threads; handlers are not called afterwards.
  void Stop();
  // Waits until connected; false after `timeout_ms`.
  bool WaitConnected(uint32_t timeout_ms);
  bool connected() const { return connected_.load(); }
  // The URL of the server connected to, "" while not connected.
  std::string server() const;
  // Times a connection was made (1 after the first).
  uint32_t connects() const { return connects_.load(); }

  // Subscribes to `subject` now (if connected) and after every reconnect. `handler`
  // runs on the receiving thread, one message at a time; it must not wait for a reply
  // from this connection. Returns the subscription id (> 0).
  uint64_t Subscribe(const std::string& subject, NatsHandler handler);
  // Ends a subscription; its handler is not called once this returns (unless called
  // from that handler itself).
  void Unsubscribe(uint64_t sid);
  // Queues a message for the server. False while not connected, or when more than
  // max_pending_bytes wait already: the caller decides what to keep.
  bool Publish(const std::string& subject, const std::string& payload,
               const std::string& header_block = "", const std::string& reply = "");
  // Bytes queued and not yet written to the socket.
  size_t PendingBytes() const;
  // Sends a request and waits for the first reply within `timeout_ms`; false on
  // time-out or while not connected. Not from a handler.
  bool Request(const std::string& subject, const std::string& payload, uint32_t timeout_ms,
               NatsOp* reply, const std::string& header_block = "");
  // Waits until the server has seen everything queued so far (a PING answered).
  bool Flush(uint32_t timeout_ms);
  // The server's largest accepted payload (from INFO), 0 before the first connect.
  size_t server_max_payload() const { return server_max_payload_.load(); }

 private:
  struct Subscription {
    std::string subject;
    std::shared_ptr<NatsHandler> handler;
  };

  void Run();
  // One connection's life: handshake, then reading until it breaks. True when the
  // handshake succeeded.
  bool Session(const NatsServerAddress& address, const std::string& url);
  bool Handshake(TcpSocket* socket, NatsParser* parser, std::vector<NatsOp>* early);
  void WriteLoop(TcpSocket* socket);
  void Dispatch(const NatsOp& op);
  void Log(const std::string& line) const {
    if (options_.log) options_.log(line);
  }
  void Enqueue(const std::string& bytes);
  bool SleepUnlessStopped(uint32_t ms);

  NatsOptions options_;
  std::vector<std::pair<NatsServerAddress, std::string>> addresses_;
  std::thread runner_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<uint32_t> connects_{0};
  std::atomic<size_t> server_max_payload_{0};

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::string server_;
  std::string out_;  // bytes waiting for the writer
  bool writer_stop_ = false;
  uint64_t pings_sent_ = 0;
  uint64_t pongs_seen_ = 0;
  TcpSocket* socket_ = nullptr;  // the live socket, for Stop to shut down

  std::mutex subs_lock_;
  std::condition_variable subs_idle_;
  std::map<uint64_t, Subscription> subs_;
  uint64_t next_sid_ = 1;
  uint64_t dispatching_ = 0;  // sid whose handler runs now
  std::thread::id dispatch_thread_;

  // Request/reply: one wildcard inbox subscription, one token per request.
  std::mutex request_lock_;
  std::condition_variable replied_;
  std::string inbox_;
  uint64_t inbox_sid_ = 0;
  uint64_t next_token_ = 1;
  std::map<uint64_t, std::unique_ptr<NatsOp>> replies_;
};

}  // namespace orvex::bridge
