#include "client/v2_client.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_acceptor_v2.h"

namespace orvex::client {

namespace acc = smf_acceptor;

namespace {

// Enough attempts to step over names left by earlier clients of this process id.
constexpr int kValueAttempts = 64;
constexpr uint32_t kCloseWaitMs = 1000;
// How often a client waiting for a bus looks for its acceptor again.
constexpr uint32_t kLookForBusMs = 20;

// Maps the acceptor header at the size it records; false when it is missing or
// malformed. *slots receives the slot count that fits the mapping.
bool MapAcceptor(SfSharedMemory& mapping, const std::string& name, uint32_t* slots) {
  if (!mapping.OpenOrCreate(false, name, acc::kDefaultSize)) return false;
  const uint32_t size = shm::Load(mapping.view(), acc::kSize);
  if (size < acc::kMinSize) return false;
  if (size != acc::kDefaultSize && !mapping.Remap(size)) return false;
  const uint32_t count = shm::Load(mapping.view(), acc::kSlotCount);
  const uint64_t fits = (std::min<uint64_t>(size, mapping.mapped_length()) - acc::kSlots) / 4;
  if (count == 0 || count > fits || shm::Load(mapping.view(), acc::kSlotOffset) != acc::kSlots) {
    return false;
  }
  *slots = count;
  return true;
}

}  // namespace

uint32_t NextRequestValue() {
  static std::atomic<uint32_t> counter{0};
  for (;;) {
    const uint32_t value = (platform::CurrentProcessId() << 10) ^
                           (counter.fetch_add(1, std::memory_order_relaxed) & 0x3FFu);
    if (value != 0) return value;
  }
}

bool V2Client::PostRequest(const std::string& base, uint32_t value, uint32_t timeout_ms,
                           bool wake_bus) {
  const std::string name = base + ".V2";
  SfSharedMemory mapping;
  SfMutex lock;
  uint32_t slots = 0;
  if (!MapAcceptor(mapping, name, &slots) || !lock.Open(name + ".MT", false)) return false;
  if (!lock.Acquire(timeout_ms)) return false;
  uint8_t* header = mapping.view();
  const uint32_t write = shm::Load(header, acc::kWriteCounter);
  const bool room = write - shm::Load(header, acc::kReadCounter) < slots;
  if (room) {
    shm::Store(header, acc::kSlots + (write % slots) * 4, value);
    shm::Store(header, acc::kWriteCounter, write + 1);
  }
  lock.Release();
  // The bus sleeps while idle: tell it there is a request (an older bus has no event
  // and looks on its own).
  if (room && wake_bus) {
    if (platform::EventObject* wake = platform::OpenNamedEvent(name + ".EV")) {
      platform::SetEvent(wake);
      platform::CloseEvent(wake);
    }
  }
  return room;
}

bool V2Client::Connect(const std::string& base, uint32_t timeout_ms) {
  Close();
  const uint32_t t0 = platform::TickCount();
  const std::string prefix = acc::RecordedName(base + ".V2") + ".";
  // Our ".C.0" is created before the request is posted, so the name is ours.
  for (int attempt = 0;
       attempt < kValueAttempts && value_ == 0 && platform::TickCount() - t0 < timeout_ms;
       ++attempt) {
    const uint32_t value = NextRequestValue();
    if (NameExists(SfSMFLinkV2::ServerSegmentName(prefix + std::to_string(value), 0))) continue;
    if (link_.Connect(prefix + std::to_string(value), 1)) value_ = value;
  }
  link_.SetSegmentLimit(link_limit_);
  // A bus starting at the same time as its clients is waited for, within the time-out
  // (also one whose acceptor is full for now).
  for (;;) {
    const uint32_t spent = platform::TickCount() - t0;
    const uint32_t left = spent < timeout_ms ? timeout_ms - spent : 0;
    if (value_ != 0 && PostRequest(base, value_, left, use_wake_)) break;
    if (value_ == 0 || left == 0) {
      Close();
      return false;
    }
    platform::SleepMs(std::min(kLookForBusMs, left));
  }
  link_name_ = prefix + std::to_string(value_);
  for (;;) {
    link_.Ready();
    if (link_.ReaderAttached()) {
      if (use_wake_) link_.AttachWake();
      return true;
    }
    if (platform::TickCount() - t0 >= timeout_ms) break;
    platform::SleepMs(1);
  }
  Close();
  return false;
}

void V2Client::Close() {
  // A segment the bus has not opened yet would vanish with us, and with it the tail of
  // what we sent: give the bus a bounded time to reach it, as a classic close flushes.
  if (link_.IsValid() && link_.ReaderAttached()) WaitBusReachedEverySegment(kCloseWaitMs);
  link_.Destroy();
  value_ = 0;
  link_name_.clear();
}

bool V2Client::WaitBusReachedEverySegment(uint32_t timeout_ms,
                                          const std::function<bool()>& bus_gone) {
  const uint32_t start = platform::TickCount();
  while (!link_.ReaderFollowedEveryHop()) {
    if (platform::TickCount() - start >= timeout_ms || link_.IsBroken() ||
        (bus_gone && bus_gone())) {
      return false;
    }
    platform::SleepMs(1);
  }
  return true;
}

void V2Client::SetLinkLimit(uint64_t bytes) {
  link_limit_ = bytes;
  link_.SetSegmentLimit(bytes);
}

bool V2Client::RecordFits(uint32_t length) {
  return smf_segment::RecordRoom(length) + smf_segment::kHeaderSize <=
         SfSMFSegments::ClassSize(SfSMFSegments::kClasses - 1);
}

bool V2Client::Send(const void* data, uint32_t length) {
  uint8_t* target = link_.BeginWrite(length);
  if (target == nullptr) return false;
  if (length > 0) std::memcpy(target, data, length);
  return link_.Commit();
}

bool V2Client::Receive(void* buffer, uint32_t capacity, uint32_t* length, uint32_t timeout_ms) {
  if (!link_.WaitReady(timeout_ms)) return false;
  uint32_t size = 0;
  const uint8_t* record = link_.Peek(&size);
  if (record == nullptr) return false;
  if (length != nullptr) *length = size;
  if (size > capacity) return false;
  if (size > 0) std::memcpy(buffer, record, size);
  return link_.Pop();
}

}  // namespace orvex::client
