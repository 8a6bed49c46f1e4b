#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "client/bus_client.h"

namespace orvex::client {

// What the C API reports: 0 or one of these negative codes (the header's ORVEX_E_*).
enum SessionResult : int {
  kSessionOk = 0,
  kSessionArgument = -1,
  kSessionNoBus = -2,
  kSessionRefused = -3,
  kSessionTimeout = -4,
  kSessionSend = -5,
  kSessionBusLost = -6,
  kSessionState = -7,
  kSessionMemory = -8,
};

// A BusClient with a receiving thread of its own: it takes every message from the bus,
// sends the keep-alive, and hands what the caller cares about to a queue (for Poll) or
// to a handler. Every method may be called from any thread; Poll from one at a time.
class ClientSession {
 public:
  using Handler = std::function<void(const BusReceived&)>;

  ClientSession() = default;
  ~ClientSession() { Stop(); }
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  // Connects and starts the receiving thread. kSessionNoBus when no bus answered.
  int Connect(const std::string& base, LinkKind kind, uint32_t timeout_ms);
  // Registers and waits for the bus's reply; kSessionRefused with status() saying why.
  int Register(const std::string& sid, const std::string& name, bool publisher, bool subscriber,
               uint32_t timeout_ms);
  // Runs `send` on the client under the send lock: kSessionBusLost once the link ended,
  // kSessionSend when `send` failed.
  int Send(const std::function<bool(BusClient&)>& send);
  // The next message for the caller: a value, text, topic request or close, refresh,
  // disconnect; kSessionTimeout when none came, kSessionBusLost once the link ended and
  // nothing is left, kSessionState while a handler is set.
  int Poll(BusReceived* out, uint32_t timeout_ms);
  // Poll for up to `max` messages (max > 0) into *out (cleared first): waits as Poll for
  // the first, then takes those already queued behind it, in order.
  int PollBatch(std::vector<BusReceived>* out, size_t max, uint32_t timeout_ms);
  // Sets or (with an empty handler) clears the handler; queued messages go to it first.
  void SetHandler(Handler handler);
  // The bus's reason for ending the link, or the kind of loss; "" while it is up.
  std::string reason() const;
  std::string status() const;
  // Times the receiving thread went to the link to wait for a message.
  uint64_t receive_waits() const { return bus_.receive_waits(); }
  // Caps the bytes of received messages waiting for Poll (default
  // kDefaultLinkLimitBytes, the link's own bound; at least one message is always
  // taken). Beyond it messages stay in the link, where the bus's slow-reader policy
  // applies to them. Any time, also before Connect.
  void SetReceiveLimit(uint64_t bytes);
  // The bytes counted against that cap now.
  uint64_t queued_bytes() const;
  // True once the bus asked this client for topic `topic_id` (a topic request): the
  // only ids a publisher may send values for.
  bool TopicAsked(uint32_t topic_id) const;
  // True on the receiving thread (inside the handler), where Close cannot wait for it.
  bool OnReceivingThread() const { return std::this_thread::get_id() == receiver_.get_id(); }
  // Says goodbye with `reason`, waits for the bus to take what was sent, stops the
  // thread and closes the link. kSessionTimeout when the bus did not take it all.
  int Close(const std::string& reason, uint32_t timeout_ms);

  // What one queued message counts against the receive limit.
  static uint64_t QueuedSize(const BusReceived& message);

 private:
  void ReceiveLoop();
  // Under lock_: waits up to `timeout_ms` for a queued message; kSessionOk when one
  // waits, else what Poll answers.
  int WaitQueued(std::unique_lock<std::mutex>& hold, uint32_t timeout_ms);
  // Under lock_: the oldest queued message, uncounted.
  BusReceived TakeQueued();
  // Hands `message` on; false once the link has ended with it. Receiving thread.
  bool Deliver(BusReceived message);
  // Calls the handler with `message`, `hold` released meanwhile. Receiving thread.
  void CallHandler(std::unique_lock<std::mutex>& hold, const BusReceived& message);
  void Stop();

  BusClient bus_;
  std::mutex send_lock_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<BusReceived> queue_;
  uint64_t queued_bytes_ = 0;
  uint64_t receive_limit_ = kDefaultLinkLimitBytes;
  std::optional<BusReceived> reply_;  // the last registration reply
  std::set<uint32_t> asked_topics_;   // topic ids the bus has requested on this link
  Handler handler_;
  bool handler_busy_ = false;  // the receiving thread is inside the handler
  bool stop_ = false;
  bool ended_ = false;
  std::string reason_;
  std::string status_;
  std::atomic<uint32_t> last_send_{0};
  std::thread receiver_;
};

}  // namespace orvex::client
