#include "bridge/nats_connection.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>
#include <random>

#include "platform/clock.h"

namespace orvex::bridge {
namespace {

constexpr uint32_t kReadSliceMs = 200;
// A server that stays silent this long after PING is taken for gone.
constexpr uint32_t kPingIntervalMs = 2000;
constexpr uint32_t kMissedPongsAllowed = 2;

std::string RandomToken() {
  std::random_device device;
  std::mt19937_64 engine((uint64_t{device()} << 32) ^ device() ^ platform::TickCount());
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string token;
  for (int i = 0; i < 22; ++i) token += kDigits[engine() % 36];
  return token;
}

}  // namespace

bool ParseNatsUrl(const std::string& url, NatsServerAddress* out) {
  std::string_view rest = url;
  if (rest.substr(0, 7) == "nats://") rest.remove_prefix(7);
  if (rest.empty() || rest.find('/') != std::string_view::npos ||
      rest.find('@') != std::string_view::npos) {
    return false;
  }
  const size_t colon = rest.rfind(':');
  out->host = std::string(rest.substr(0, colon));
  out->port = 4222;
  if (colon != std::string_view::npos) {
    const std::string_view port = rest.substr(colon + 1);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
      return false;
    }
    out->port = static_cast<uint16_t>(value);
  }
  return !out->host.empty();
}

bool NatsConnection::Start(NatsOptions options) {
  Stop();
  options_ = std::move(options);
  addresses_.clear();
  for (const std::string& url : options_.servers) {
    NatsServerAddress address;
    if (ParseNatsUrl(url, &address)) {
      addresses_.emplace_back(address, url);
    } else {
      Log("NATS: ignoring bad server URL '" + url + "'");
    }
  }
  if (addresses_.empty()) return false;
  inbox_ = "_INBOX." + RandomToken();
  // The reply inbox lives as long as the connection object.
  inbox_sid_ = Subscribe(inbox_ + ".*", [this](const NatsOp& op) {
    uint64_t token = 0;
    const std::string_view tail = std::string_view(op.subject).substr(inbox_.size() + 1);
    std::from_chars(tail.data(), tail.data() + tail.size(), token);
    std::lock_guard<std::mutex> hold(request_lock_);
    auto it = replies_.find(token);
    if (it != replies_.end() && !it->second) {
      it->second = std::make_unique<NatsOp>(op);
      replied_.notify_all();
    }
  });
  stop_ = false;
  runner_ = std::thread([this] { Run(); });
  return true;
}

void NatsConnection::Stop() {
  stop_ = true;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (socket_ != nullptr) socket_->Shutdown();
    changed_.notify_all();
  }
  if (runner_.joinable()) runner_.join();
  std::lock_guard<std::mutex> hold(subs_lock_);
  subs_.clear();
}

bool NatsConnection::WaitConnected(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                           [&] { return connected_.load(); });
}

std::string NatsConnection::server() const {
  std::lock_guard<std::mutex> hold(lock_);
  return server_;
}

bool NatsConnection::SleepUnlessStopped(uint32_t ms) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return stop_.load(); });
  return !stop_;
}

void NatsConnection::Run() {
  uint32_t backoff = options_.reconnect_min_ms;
  while (!stop_) {
    bool any = false;
    for (const auto& [address, url] : addresses_) {
      if (stop_) return;
      if (Session(address, url)) {
        any = true;
        backoff = options_.reconnect_min_ms;
        // After losing a server, go round the list again from the next one at once.
      }
    }
    if (!any) {
      if (!SleepUnlessStopped(backoff)) return;
      backoff = std::min(backoff * 2, options_.reconnect_max_ms);
    }
  }
}

bool NatsConnection::Handshake(TcpSocket* socket, NatsParser* parser, std::vector<NatsOp>* early) {
  char buffer[4096];
  std::vector<NatsOp> ops;
  const uint32_t start = platform::TickCount();
  // INFO first.
  while (ops.empty()) {
    if (platform::TickCount() - start > options_.connect_timeout_ms) return false;
    const int got = socket->Receive(buffer, sizeof(buffer), kReadSliceMs);
    if (got < 0) return false;
    if (got > 0 && !parser->Feed(std::string_view(buffer, static_cast<size_t>(got)), &ops)) {
      Log("NATS: protocol error from server: " + parser->error());
      return false;
    }
  }
  if (ops.front().kind != NatsOp::Kind::kInfo) return false;
  const nlohmann::json info = nlohmann::json::parse(ops.front().text, nullptr, false);
  if (info.is_discarded() || !info.is_object()) {
    Log("NATS: unreadable INFO from server");
    return false;
  }
  if (info.contains("max_payload") && info["max_payload"].is_number_unsigned()) {
    server_max_payload_ = info["max_payload"].get<size_t>();
  }
  if (!info.contains("headers") || !info["headers"].is_boolean() || !info["headers"].get<bool>()) {
    Log("NATS: the server does not support headers");
    return false;
  }
  nlohmann::json connect = {{"verbose", false},      {"pedantic", false}, {"tls_required", false},
                            {"name", options_.name}, {"lang", "cpp"},     {"version", "4.6.0"},
                            {"protocol", 1},         {"headers", true},   {"no_responders", true}};
  if (!options_.token.empty()) connect["auth_token"] = options_.token;
  if (!options_.user.empty()) {
    connect["user"] = options_.user;
    connect["pass"] = options_.password;
  }
  if (!socket->SendAll("CONNECT " + connect.dump() + "\r\nPING\r\n")) return false;
  // PONG says the server took CONNECT; -ERR says why not.
  for (size_t seen = 1;;) {
    for (; seen < ops.size(); ++seen) {
      if (ops[seen].kind == NatsOp::Kind::kPong) {
        early->assign(ops.begin() + static_cast<long>(seen) + 1, ops.end());
        return true;
      }
      if (ops[seen].kind == NatsOp::Kind::kErr) {
        Log("NATS: server refused the connection: " + ops[seen].text);
        return false;
      }
    }
    if (platform::TickCount() - start > options_.connect_timeout_ms) return false;
    const int got = socket->Receive(buffer, sizeof(buffer), kReadSliceMs);
    if (got < 0) return false;
    if (got > 0 && !parser->Feed(std::string_view(buffer, static_cast<size_t>(got)), &ops)) {
      return false;
    }
  }
}

bool NatsConnection::Session(const NatsServerAddress& address, const std::string& url) {
  std::string error;
  std::unique_ptr<TcpSocket> socket =
      ConnectTcp(address.host, address.port, options_.connect_timeout_ms, &error);
  if (!socket) return false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stop_) return false;
    socket_ = socket.get();
  }
  NatsParser parser(options_.max_payload);
  std::vector<NatsOp> ops;
  bool ok = Handshake(socket.get(), &parser, &ops);
  if (ok) {
    // Subscriptions first, so nothing published after `on_state(true)` is missed.
    // Both locks: a Subscribe meanwhile either is in the list or sees the connection.
    std::lock_guard<std::mutex> hold_subs(subs_lock_);
    std::string subs;
    for (const auto& [sid, sub] : subs_) {
      subs += "SUB " + sub.subject + " " + std::to_string(sid) + "\r\n";
    }
    std::lock_guard<std::mutex> hold(lock_);
    out_ = subs;
    writer_stop_ = false;
    server_ = url;
    pings_sent_ = pongs_seen_ = 0;
    connected_ = true;
    ++connects_;
    changed_.notify_all();
  }
  if (!ok) {
    std::lock_guard<std::mutex> hold(lock_);
    socket_ = nullptr;
    return false;
  }
  Log("NATS: connected to " + url);
  std::thread writer([&] { WriteLoop(socket.get()); });
  if (options_.on_state) options_.on_state(true);
  for (const NatsOp& op : ops) Dispatch(op);
  char buffer[65536];
  uint32_t last_activity = platform::TickCount();
  uint32_t last_ping = last_activity;
  while (!stop_) {
    const int got = socket->Receive(buffer, sizeof(buffer), kReadSliceMs);
    if (got < 0) break;
    const uint32_t now = platform::TickCount();
    if (got == 0) {
      // Silence: ask the server, and give up on one that stopped answering.
      if (now - last_activity > kPingIntervalMs * (kMissedPongsAllowed + 1)) {
        Log("NATS: no answer from " + url);
        break;
      }
      if (now - last_ping >= kPingIntervalMs) {
        last_ping = now;
        std::lock_guard<std::mutex> hold(lock_);
        ++pings_sent_;
        out_ += "PING\r\n";
        changed_.notify_all();
      }
      continue;
    }
    last_activity = now;
    ops.clear();
    if (!parser.Feed(std::string_view(buffer, static_cast<size_t>(got)), &ops)) {
      Log("NATS: protocol error from " + url + ": " + parser.error());
      break;
    }
    for (const NatsOp& op : ops) Dispatch(op);
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    connected_ = false;
    writer_stop_ = true;
    server_.clear();
    socket->Shutdown();
    changed_.notify_all();
  }
  writer.join();
  {
    std::lock_guard<std::mutex> hold(lock_);
    socket_ = nullptr;
    if (!out_.empty()) Log("NATS: " + std::to_string(out_.size()) + " bytes not sent to " + url);
    out_.clear();
  }
  if (!stop_) Log("NATS: lost the connection to " + url);
  if (options_.on_state) options_.on_state(false);
  {
    // Requests in flight will get no reply from this connection.
    std::lock_guard<std::mutex> hold(request_lock_);
    replied_.notify_all();
  }
  return true;
}

void NatsConnection::WriteLoop(TcpSocket* socket) {
  std::string batch;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [&] { return writer_stop_ || !out_.empty(); });
      if (writer_stop_) return;
      batch.swap(out_);
      changed_.notify_all();
    }
    if (!socket->SendAll(batch)) {
      socket->Shutdown();
      return;
    }
    batch.clear();
  }
}

void NatsConnection::Dispatch(const NatsOp& op) {
  switch (op.kind) {
    case NatsOp::Kind::kPing:
      Enqueue("PONG\r\n");
      return;
    case NatsOp::Kind::kPong: {
      std::lock_guard<std::mutex> hold(lock_);
      ++pongs_seen_;
      changed_.notify_all();
      return;
    }
    case NatsOp::Kind::kErr:
      Log("NATS: server error: " + op.text);
      return;
    case NatsOp::Kind::kInfo:
    case NatsOp::Kind::kOk:
      return;
    case NatsOp::Kind::kMsg:
      break;
  }
  uint64_t sid = 0;
  std::from_chars(op.sid.data(), op.sid.data() + op.sid.size(), sid);
  std::shared_ptr<NatsHandler> handler;
  {
    std::lock_guard<std::mutex> hold(subs_lock_);
    auto it = subs_.find(sid);
    if (it == subs_.end()) return;  // unsubscribed meanwhile
    handler = it->second.handler;
    dispatching_ = sid;
    dispatch_thread_ = std::this_thread::get_id();
  }
  (*handler)(op);
  std::lock_guard<std::mutex> hold(subs_lock_);
  dispatching_ = 0;
  subs_idle_.notify_all();
}

void NatsConnection::Enqueue(const std::string& bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!connected_) return;
  out_ += bytes;
  changed_.notify_all();
}

uint64_t NatsConnection::Subscribe(const std::string& subject, NatsHandler handler) {
  std::lock_guard<std::mutex> hold(subs_lock_);
  const uint64_t sid = next_sid_++;
  subs_[sid] = Subscription{subject, std::make_shared<NatsHandler>(std::move(handler))};
  Enqueue("SUB " + subject + " " + std::to_string(sid) + "\r\n");
  return sid;
}

void NatsConnection::Unsubscribe(uint64_t sid) {
  {
    std::unique_lock<std::mutex> hold(subs_lock_);
    if (subs_.erase(sid) == 0) return;
    if (dispatch_thread_ != std::this_thread::get_id()) {
      subs_idle_.wait(hold, [&] { return dispatching_ != sid; });
    }
  }
  Enqueue("UNSUB " + std::to_string(sid) + "\r\n");
}

bool NatsConnection::Publish(const std::string& subject, const std::string& payload,
                             const std::string& header_block, const std::string& reply) {
  std::string line;
  line.reserve(subject.size() + reply.size() + header_block.size() + payload.size() + 40);
  if (header_block.empty()) {
    line = "PUB " + subject + " ";
    if (!reply.empty()) line += reply + " ";
    line += std::to_string(payload.size()) + "\r\n";
  } else {
    line = "HPUB " + subject + " ";
    if (!reply.empty()) line += reply + " ";
    line += std::to_string(header_block.size()) + " " +
            std::to_string(header_block.size() + payload.size()) + "\r\n" + header_block;
  }
  line += payload;
  line += "\r\n";
  std::lock_guard<std::mutex> hold(lock_);
  if (!connected_ || out_.size() > options_.max_pending_bytes) return false;
  out_ += line;
  changed_.notify_all();
  return true;
}

size_t NatsConnection::PendingBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return out_.size();
}

bool NatsConnection::Request(const std::string& subject, const std::string& payload,
                             uint32_t timeout_ms, NatsOp* reply, const std::string& header_block) {
  uint64_t token = 0;
  {
    std::lock_guard<std::mutex> hold(request_lock_);
    token = next_token_++;
    replies_[token] = nullptr;
  }
  const uint32_t connects = connects_.load();
  bool got = false;
  if (Publish(subject, payload, header_block, inbox_ + "." + std::to_string(token))) {
    std::unique_lock<std::mutex> hold(request_lock_);
    got = replied_.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] {
      return replies_[token] != nullptr || !connected_ || connects_.load() != connects;
    });
    got = got && replies_[token] != nullptr;
    if (got) *reply = std::move(*replies_[token]);
  }
  std::lock_guard<std::mutex> hold(request_lock_);
  replies_.erase(token);
  return got;
}

bool NatsConnection::Flush(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!connected_) return false;
  // The server answers pings in order: ours is answered once as many PONGs came.
  const uint64_t target = ++pings_sent_;
  const uint32_t connects = connects_.load();
  out_ += "PING\r\n";
  changed_.notify_all();
  const auto done = [&] { return pongs_seen_ >= target && connects_.load() == connects; };
  changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                    [&] { return done() || !connected_ || connects_.load() != connects; });
  return done();
}

}  // namespace orvex::bridge
