#include "rtd/bus_link.h"

#include <chrono>

#include "protocol/message_codes.h"

namespace orvex::rtd {

namespace {

constexpr uint32_t kConnectTimeoutMs = 2000;
constexpr uint32_t kRegisterTimeoutMs = 5000;
constexpr uint32_t kGoodbyeTimeoutMs = 1000;

}  // namespace

RtdBusLink::RtdBusLink(RtdTopicBook* book, Options options)
    : book_(book), options_(std::move(options)) {}

void RtdBusLink::Start() {
  std::lock_guard<std::mutex> hold(lock_);
  if (thread_.joinable() || stop_) return;
  thread_ = std::thread([this] { Run(); });
}

void RtdBusLink::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void RtdBusLink::Open(uint32_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  commands_.push_back({true, handle});
  wake_.notify_all();
}

void RtdBusLink::Close(uint32_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  commands_.push_back({false, handle});
  wake_.notify_all();
}

bool RtdBusLink::connected() const {
  std::lock_guard<std::mutex> hold(lock_);
  return connected_;
}

uint32_t RtdBusLink::connections() const {
  std::lock_guard<std::mutex> hold(lock_);
  return connections_;
}

void RtdBusLink::Run() {
  bool told_away = false;
  std::unique_lock<std::mutex> hold(lock_);
  while (!stop_) {
    if (!session_) {
      hold.unlock();
      const bool up = Link();
      if (!up && !told_away) {
        Notify(book_->OnBusAway());
        told_away = true;
      }
      hold.lock();
      if (!up) {
        wake_.wait_for(hold, std::chrono::milliseconds(options_.retry_ms), [&] { return stop_; });
        continue;
      }
      told_away = false;
    }
    if (lost_) {
      hold.unlock();
      Unlink();
      Notify(book_->OnBusAway());
      told_away = true;
      hold.lock();
      continue;
    }
    if (commands_.empty()) {
      wake_.wait(hold, [&] { return stop_ || lost_ || !commands_.empty(); });
      continue;
    }
    const Command command = commands_.front();
    commands_.pop_front();
    hold.unlock();
    if (command.open) {
      Request(command.handle);
    } else {
      Unrequest(command.handle);
    }
    hold.lock();
  }
  hold.unlock();
  if (session_) {
    session_->Close("KelRTD closing", kGoodbyeTimeoutMs);
    session_.reset();
  }
  hold.lock();
  connected_ = false;
}

bool RtdBusLink::Link() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    lost_ = false;
  }
  auto session = std::make_unique<client::ClientSession>();
  if (session->Connect(options_.bus, client::LinkKind::kV2, kConnectTimeoutMs) !=
      client::kSessionOk) {
    return false;
  }
  session->SetHandler([this](const client::BusReceived& message) { OnMessage(message); });
  if (session->Register("", options_.client_name, false, true, kRegisterTimeoutMs) !=
      client::kSessionOk) {
    session->Close("", 0);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    // Everything queued so far is covered by asking for the book's topics now.
    commands_.clear();
    connected_ = true;
    ++connections_;
  }
  session_ = std::move(session);
  requested_.clear();
  Notify(book_->OnBusBack());
  session_->Send([](client::BusClient& bus) {
    return bus.RequestTopic(kPublistHandle, "@BUS:PUBLIST") &&
           bus.RequestTopic(kDefpubHandle, "@BUS:DEFPUB");
  });
  for (auto& [handle, request] : book_->OpenBusTopics()) {
    const size_t slot = RtdTopicBook::SlotOf(handle);
    if (slot >= requested_.size()) requested_.resize(slot + 1);
    requested_[slot] = handle;
    // Init-captures: older compilers cannot capture structured bindings.
    session_->Send([id = handle, &text = request](client::BusClient& bus) {
      return bus.RequestTopic(id, text);
    });
  }
  return true;
}

void RtdBusLink::Request(uint32_t handle) {
  const size_t slot = RtdTopicBook::SlotOf(handle);
  if (slot >= kMaxBookSlots) return;
  if (slot >= requested_.size()) requested_.resize(slot + 1);
  // A link made after the command was queued may already have asked (or not).
  if (requested_[slot] == handle) return;
  // The slot's last topic is closed before its next one is asked.
  if (requested_[slot] != 0) Unrequest(requested_[slot]);
  const std::string request = book_->RequestText(handle);
  if (request.empty()) return;
  requested_[slot] = handle;
  session_->Send([&](client::BusClient& bus) { return bus.RequestTopic(handle, request); });
}

void RtdBusLink::Unrequest(uint32_t handle) {
  const size_t slot = RtdTopicBook::SlotOf(handle);
  if (slot >= requested_.size() || requested_[slot] != handle) return;
  requested_[slot] = 0;
  session_->Send([&](client::BusClient& bus) { return bus.CloseTopic(handle); });
}

void RtdBusLink::Unlink() {
  session_->Close("", 0);
  session_.reset();
  requested_.clear();
  std::lock_guard<std::mutex> hold(lock_);
  connected_ = false;
  lost_ = false;
}

void RtdBusLink::OnMessage(const client::BusReceived& message) {
  const uint16_t code = client::ClassicCodeOf(message.code);
  if (message.code == 0 || code == MSG_DISCONNECT) {
    std::lock_guard<std::mutex> hold(lock_);
    lost_ = true;
    wake_.notify_all();
    return;
  }
  if (code != MSG_VALUE) return;
  if (message.handle == kPublistHandle) {
    Notify(book_->OnPublishers(message.value.Text()));
  } else if (message.handle == kDefpubHandle) {
    Notify(book_->OnDefaultPublisher(message.value.Text()));
  } else {
    Notify(book_->OnValue(message.handle, message.value));
  }
}

}  // namespace orvex::rtd
