#include "client/classic_client.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "transport/named_event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_acceptor.h"

namespace orvex::client {

using namespace smf_acceptor;

namespace {

// How often a client waiting for a bus looks for its acceptor again.
constexpr uint32_t kLookForBusMs = 20;

uint32_t TimeLeft(uint32_t start, uint32_t timeout_ms) {
  // Signed: a tick that stepped back (a test's clock offset) has used no time, instead
  // of a wrapped difference that ends every wait at once.
  const int32_t used = static_cast<int32_t>(platform::TickCount() - start);
  if (used <= 0) return timeout_ms;
  return static_cast<uint32_t>(used) >= timeout_ms ? 0 : timeout_ms - static_cast<uint32_t>(used);
}

// The acceptor's objects as a client opens them.
struct AcceptorObjects {
  SfSharedMemory block;
  SfMutex request_mutex;
  SfMutex response_mutex;
  platform::EventObject* request_event = nullptr;
  platform::EventObject* response_event = nullptr;

  ~AcceptorObjects() {
    platform::CloseEvent(request_event);
    platform::CloseEvent(response_event);
  }
  bool Open(const std::string& base) {
    block.OpenOrCreate(false, base, kBlockSize);
    request_mutex.Open(base + "_MTRQ", false);
    response_mutex.Open(base + "_MTRP", false);
    request_event = MakeNamedEvent(base + "_EVRQ", true);
    response_event = MakeNamedEvent(base + "_EVRP", true);
    return block.IsValid() && request_mutex.IsOpen() && response_mutex.IsOpen() &&
           request_event != nullptr && response_event != nullptr;
  }
};

}  // namespace

ClassicResult ClassicClient::Connect(const std::string& base, uint32_t word, uint32_t slot_size,
                                     uint32_t slot_count, uint32_t timeout_ms) {
  channel_.reset();
  held_mutex_.clear();
  const uint32_t start = platform::TickCount();
  // A bus starting at the same time as its clients is waited for, within the time-out.
  auto acceptor_objects = std::make_unique<AcceptorObjects>();
  while (!acceptor_objects->Open(base)) {
    if (TimeLeft(start, timeout_ms) == 0) return ClassicResult::kNoBus;
    platform::SleepMs(std::min(kLookForBusMs, TimeLeft(start, timeout_ms)));
    acceptor_objects = std::make_unique<AcceptorObjects>();
  }
  AcceptorObjects& acceptor = *acceptor_objects;
  // Clients are serialised by the request mutex; the bus never takes it after start-up.
  if (!acceptor.request_mutex.Acquire(TimeLeft(start, timeout_ms))) {
    held_mutex_ = base + "_MTRQ";
    return ClassicResult::kTimedOut;
  }
  uint8_t* block = acceptor.block.view();
  platform::ResetEvent(acceptor.response_event);
  StoreU32(block + kRequestWord, word);
  StoreU32(block + kRequestSlotSize, slot_size);
  StoreU32(block + kRequestSlotCount, slot_count);
  platform::SetEvent(acceptor.request_event);
  if (platform::WaitEvent(acceptor.response_event, TimeLeft(start, timeout_ms)) !=
      platform::WaitResult::kSignalled) {
    // Withdraw the request so the bus does not serve a client that left.
    platform::ResetEvent(acceptor.request_event);
    // The bus answers only under "_MTRP": held elsewhere, it could not.
    if (acceptor.response_mutex.Acquire(0)) {
      acceptor.response_mutex.Release();
    } else {
      held_mutex_ = base + "_MTRP";
    }
    return ClassicResult::kTimedOut;
  }
  // The bus sets "_EVRP" just before it releases "_MTRP": taking the mutex waits for
  // the response to be complete.
  if (!acceptor.response_mutex.Acquire(TimeLeft(start, timeout_ms))) {
    held_mutex_ = base + "_MTRP";
    return ClassicResult::kTimedOut;
  }
  uint16_t name_length = 0;
  std::memcpy(&name_length, block + kResponseNameLength, 2);
  const uint32_t granted_size = LoadU32(block + kResponseSlotSize);
  const uint32_t granted_count = LoadU32(block + kResponseSlotCount);
  const bool ours = LoadU32(block + kResponseWord) == word;
  char name[kResponseNameMax + 1] = {};
  std::memcpy(name, block + kResponseName, std::min<size_t>(name_length, kResponseNameMax));
  acceptor.response_mutex.Release();
  acceptor.request_mutex.Release();
  if (name_length == 0 || !ours) return ClassicResult::kRefused;

  auto channel = std::make_unique<SfSMFChannel>(false, granted_count, granted_size, name);
  if (!channel->IsValid()) return ClassicResult::kChannelFailed;
  channel_ = std::move(channel);
  channel_name_ = name;
  return ClassicResult::kConnected;
}

void ClassicClient::Disconnect() {
  Flush(1000);
  channel_.reset();
}

bool ClassicClient::Flush(uint32_t timeout_ms) {
  if (channel_ == nullptr) return true;
  const uint32_t start = platform::TickCount();
  while (channel_->queue().pending_count() > 0) {
    if (channel_->broken() || TimeLeft(start, timeout_ms) == 0) return false;
    platform::SleepMs(1);
  }
  return true;
}

bool ClassicClient::QueueHasRoom() {
  if (channel_ == nullptr) return false;
  const uint64_t queued = channel_->queue().pending_count();
  return queued == 0 || (queued + 1) * channel_->slot_size() <= queue_limit_;
}

bool ClassicClient::WaitQueueRoom(uint32_t timeout_ms) {
  const uint32_t start = platform::TickCount();
  while (!QueueHasRoom()) {
    if (channel_ == nullptr || channel_->broken() || TimeLeft(start, timeout_ms) == 0) {
      return false;
    }
    platform::SleepMs(1);
  }
  return true;
}

bool ClassicClient::Send(const void* data, size_t length) {
  if (channel_ == nullptr || length > channel_->slot_size()) return false;
  uint8_t* buffer = channel_->BeginMessage();
  if (buffer == nullptr) return false;
  std::memcpy(buffer, data, length);
  std::memset(buffer + length, 0, channel_->slot_size() - length);
  return channel_->CommitMessage();
}

bool ClassicClient::Receive(uint8_t* slot, uint32_t timeout_ms) {
  if (channel_ == nullptr || !channel_->WaitData(timeout_ms)) return false;
  const uint8_t* incoming = channel_->Peek();
  if (incoming == nullptr) return false;
  std::memcpy(slot, incoming, channel_->slot_size());
  channel_->Pop();
  return true;
}

}  // namespace orvex::client
