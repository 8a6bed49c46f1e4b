#include "client/client_session.h"

#include <chrono>

#include "platform/clock.h"
#include "protocol/message_codes.h"

namespace orvex::client {
namespace {

// The bus drops a link it has not heard from for 15000 ms; speak well before that.
constexpr uint32_t kKeepAliveMs = 2000;
// A keep-alive the send lock kept back is tried again this soon.
constexpr uint32_t kKeepAliveRetryMs = 50;

// Codes a caller of the session sees; the rest (heartbeats, monitor traffic) it does not.
bool ForCaller(uint16_t code) {
  switch (ClassicCodeOf(code)) {
    case MSG_VALUE:
    case MSG_TEXT_A:
    case MSG_TEXT_B:
    case MSG_TOPIC:
    case MSG_TOPIC_CLOSE:
    case MSG_REFRESH:
    case MSG_DISCONNECT:
      return true;
    default:
      return false;
  }
}

}  // namespace

uint64_t ClientSession::QueuedSize(const BusReceived& message) {
  const RtdValue& v = message.value;
  uint64_t payload = v.Text().size() + v.WideText().size() * 2 + v.Bytes().size();
  // Lists are rare and small next to the cap; their rendering bounds what they hold.
  if (v.TextList() != nullptr || v.ValueList() != nullptr) payload += v.ToText().size();
  return sizeof(BusReceived) + message.text.size() + message.items.size() * 4 +
         message.bytes.size() + payload;
}

void ClientSession::SetReceiveLimit(uint64_t bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  receive_limit_ = bytes;
}

uint64_t ClientSession::queued_bytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return queued_bytes_;
}

int ClientSession::Connect(const std::string& base, LinkKind kind, uint32_t timeout_ms) {
  if (!bus_.Connect(base, kind, timeout_ms)) return kSessionNoBus;
  last_send_.store(platform::TickCount());
  receiver_ = std::thread([this] { ReceiveLoop(); });
  return kSessionOk;
}

int ClientSession::Register(const std::string& sid, const std::string& name, bool publisher,
                            bool subscriber, uint32_t timeout_ms) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    reply_.reset();
  }
  const int sent =
      Send([&](BusClient& bus) { return bus.Register(sid, name, publisher, subscriber); });
  if (sent != kSessionOk) return sent;
  std::unique_lock<std::mutex> hold(lock_);
  if (!changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                         [&] { return reply_.has_value() || ended_; })) {
    return kSessionTimeout;
  }
  if (!reply_) return kSessionBusLost;
  status_ = reply_->text;
  return reply_->handle == 1 ? kSessionOk : kSessionRefused;
}

int ClientSession::Send(const std::function<bool(BusClient&)>& send) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (ended_) return kSessionBusLost;
  }
  std::lock_guard<std::mutex> hold(send_lock_);
  if (!bus_.connected()) return kSessionBusLost;
  if (!send(bus_)) return bus_.bus_loss() != BusLoss::kNone ? kSessionBusLost : kSessionSend;
  last_send_.store(platform::TickCount());
  return kSessionOk;
}

int ClientSession::Poll(BusReceived* out, uint32_t timeout_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  const int result = WaitQueued(hold, timeout_ms);
  if (result != kSessionOk) return result;
  *out = TakeQueued();
  changed_.notify_all();
  return kSessionOk;
}

int ClientSession::PollBatch(std::vector<BusReceived>* out, size_t max, uint32_t timeout_ms) {
  out->clear();
  std::unique_lock<std::mutex> hold(lock_);
  const int result = WaitQueued(hold, timeout_ms);
  if (result != kSessionOk) return result;
  while (out->size() < max && !queue_.empty()) out->push_back(TakeQueued());
  changed_.notify_all();
  return kSessionOk;
}

int ClientSession::WaitQueued(std::unique_lock<std::mutex>& hold, uint32_t timeout_ms) {
  if (handler_) return kSessionState;
  changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                    [&] { return !queue_.empty() || ended_ || handler_; });
  if (handler_) return kSessionState;
  if (!queue_.empty()) return kSessionOk;
  return ended_ ? kSessionBusLost : kSessionTimeout;
}

BusReceived ClientSession::TakeQueued() {
  BusReceived next = std::move(queue_.front());
  queue_.pop_front();
  queued_bytes_ -= QueuedSize(next);
  return next;
}

void ClientSession::SetHandler(Handler handler) {
  std::unique_lock<std::mutex> hold(lock_);
  handler_ = std::move(handler);
  changed_.notify_all();
  // The receiving thread may be asleep in the link; the queue is its to hand over.
  if (handler_ && !queue_.empty()) bus_.InterruptReceive();
  // Once cleared, the old handler must not be running when the caller goes on (it may
  // free what the handler uses), unless the caller is that handler itself.
  if (!handler_ && std::this_thread::get_id() != receiver_.get_id()) {
    changed_.wait(hold, [&] { return !handler_busy_; });
  }
}

bool ClientSession::TopicAsked(uint32_t topic_id) const {
  std::lock_guard<std::mutex> hold(lock_);
  return asked_topics_.count(topic_id) != 0;
}

std::string ClientSession::reason() const {
  std::lock_guard<std::mutex> hold(lock_);
  return reason_;
}

std::string ClientSession::status() const {
  std::lock_guard<std::mutex> hold(lock_);
  return status_;
}

int ClientSession::Close(const std::string& reason, uint32_t timeout_ms) {
  int result = kSessionOk;
  bool ended = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    ended = ended_;
  }
  if (!ended && receiver_.joinable()) {
    result = Send([&](BusClient& bus) { return bus.SendDisconnect(reason); });
    if (result == kSessionOk) {
      std::lock_guard<std::mutex> hold(send_lock_);
      if (!bus_.Drain(timeout_ms)) result = kSessionTimeout;
    }
  }
  Stop();
  return result;
}

void ClientSession::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    changed_.notify_all();
  }
  bus_.InterruptReceive();
  if (receiver_.joinable()) receiver_.join();
  std::lock_guard<std::mutex> hold(send_lock_);
  bus_.Close();
}

void ClientSession::ReceiveLoop() {
  for (;;) {
    bool hold_back = false;
    {
      std::unique_lock<std::mutex> hold(lock_);
      if (stop_) return;
      if (handler_ && !queue_.empty()) {
        // Messages that waited for Poll go to a newly set handler first, in order.
        BusReceived next = TakeQueued();
        CallHandler(hold, next);
        changed_.notify_all();
        continue;
      }
      if (ended_) {
        changed_.wait(hold, [&] { return stop_ || (handler_ && !queue_.empty()); });
        continue;
      }
      // Counted in bytes, not messages: a caller that polls slowly while large texts
      // arrive must not grow without bound. Left in the link, they stay the bus's
      // concern (its slow-reader policy).
      hold_back = !handler_ && !queue_.empty() && queued_bytes_ >= receive_limit_;
    }
    {
      // A sender holding the lock may wait for room in the link; receiving must go on
      // meanwhile, and that send will show the bus we are alive anyway.
      std::unique_lock<std::mutex> hold(send_lock_, std::try_to_lock);
      if (hold.owns_lock() && platform::TickCount() - last_send_.load() >= kKeepAliveMs &&
          bus_.KeepAlive()) {
        last_send_.store(platform::TickCount());
      }
    }
    if (hold_back) {
      platform::SleepMs(10);
      continue;
    }
    // Sleeps until a message, Stop or a new handler (they interrupt the wait), or the
    // next keep-alive is due: no periodic wake-ups while idle.
    const uint32_t since_send = platform::TickCount() - last_send_.load();
    const uint32_t slice =
        since_send >= kKeepAliveMs ? kKeepAliveRetryMs : kKeepAliveMs - since_send;
    BusReceived message;
    if (bus_.Receive(&message, slice)) {
      Deliver(std::move(message));
    } else if (bus_.bus_loss() != BusLoss::kNone) {
      BusReceived lost;  // code 0: the link is gone without a word from the bus
      lost.text = BusLossText(bus_.bus_loss());
      Deliver(std::move(lost));
    }
  }
}

void ClientSession::CallHandler(std::unique_lock<std::mutex>& hold, const BusReceived& message) {
  // A copy: the handler may be replaced while it runs.
  Handler handler = handler_;
  handler_busy_ = true;
  hold.unlock();
  handler(message);
  hold.lock();
  handler_busy_ = false;
}

bool ClientSession::Deliver(BusReceived message) {
  std::unique_lock<std::mutex> hold(lock_);
  const uint16_t code = ClassicCodeOf(message.code);
  if (code == MSG_REGISTER_REPLY) {
    reply_ = std::move(message);
    changed_.notify_all();
    return true;
  }
  if (message.code != 0 && !ForCaller(code)) return true;
  // Kept after the bus closes the topic: a value racing the close is the bus's to drop.
  if (code == MSG_TOPIC) asked_topics_.insert(message.handle);
  const bool last = code == MSG_DISCONNECT || message.code == 0;
  if (last) {
    ended_ = true;
    reason_ = message.text;
  }
  if (handler_ && queue_.empty()) {
    CallHandler(hold, message);
  } else {
    // The raw bytes of the last part serve the codec readers only; the caller never
    // sees them, so they need not wait in the queue.
    std::vector<uint8_t>().swap(message.bytes);
    queued_bytes_ += QueuedSize(message);
    queue_.push_back(std::move(message));
  }
  changed_.notify_all();
  return !last;
}

}  // namespace orvex::client
