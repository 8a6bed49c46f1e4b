#include "transport/smf_acceptor_v2.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "transport/named_event.h"

namespace orvex {

namespace acc = smf_acceptor;

namespace {
// Holds a mutex for a scope when it could be taken within the time-out.
class TimedHold {
 public:
  TimedHold(SfMutex& mutex, uint32_t timeout_ms)
      : mutex_(mutex), held_(mutex.Acquire(timeout_ms)) {}
  ~TimedHold() {
    if (held_) mutex_.Release();
  }
  TimedHold(const TimedHold&) = delete;
  TimedHold& operator=(const TimedHold&) = delete;
  bool held() const { return held_; }

 private:
  SfMutex& mutex_;
  bool held_;
};
}  // namespace

bool SfSMFAcceptorV2::Construct(const std::string& name) {
  Destroy();
  ownership_.emplace(name + ".AccMT");
  if (!ownership_->CreateNew() || !ownership_->Acquire(kOwnershipWaitMs)) {
    Destroy();
    return false;
  }
  lock_.emplace(name + ".MT");
  if (!lock_->CreateNew() || !MapHeader(name)) {
    Destroy();
    return false;
  }
  recorded_name_ = acc::RecordedName(name);
  // Optional: without it clients are still served, at the server's next look.
  request_event_ = MakeNamedEvent(name + ".EV", false);
  SfMutexLock hold(*lock_);
  WriteHeader();
  return true;
}

bool SfSMFAcceptorV2::MapHeader(const std::string& name) {
  bool mapped = false;
  {
    SfMutexLock hold(*lock_);
    mapped = mapping_.OpenElseCreate4096(name);
  }
  if (!mapped) return false;
  size_ = acc::kDefaultSize;
  const uint32_t recorded = shm::Load(mapping_.view(), acc::kSize) & ~3u;
  // A size too small for one slot cannot be a header: keep the 4096 bytes mapped. A
  // size larger than the object fails to map; fall back to 4096 then as well.
  if (mapping_.created() == 0 && recorded != acc::kDefaultSize && recorded >= acc::kMinSize) {
    if (mapping_.Remap(recorded)) {
      size_ = recorded;
    } else if (!mapping_.Remap(acc::kDefaultSize)) {
      return false;
    }
  }
  // Never more than is actually mapped.
  size_ = static_cast<uint32_t>(std::min<size_t>(size_, mapping_.mapped_length())) & ~3u;
  if (size_ < acc::kMinSize) return false;
  header_ = mapping_.view();
  slot_count_ = (size_ - acc::kSlots) / 4;
  return true;
}

void SfSMFAcceptorV2::WriteHeader() {
  header_tick_ = platform::TickCount();
  shm::Store(header_, acc::kReadCounter, 0);
  shm::Store(header_, acc::kWriteCounter, 0);
  RestoreOwnWords();
}

void SfSMFAcceptorV2::RestoreOwnWords() {
  shm::Store(header_, acc::kSize, size_);
  shm::Store(header_, acc::kSlotOffset, acc::kSlots);
  shm::Store(header_, acc::kSlotCount, slot_count_);
  shm::Store(header_, acc::kReserved, 0);
  shm::Store(header_, acc::kProcessId, platform::CurrentProcessId());
  shm::Store(header_, acc::kTick, header_tick_);
  std::memset(header_ + acc::kName, 0, acc::kNameMax + 1);
  std::memcpy(header_ + acc::kName, recorded_name_.data(), recorded_name_.size());
}

bool SfSMFAcceptorV2::PendingLocked() {
  RestoreOwnWords();
  const uint32_t read = shm::Load(header_, acc::kReadCounter);
  const uint32_t write = shm::Load(header_, acc::kWriteCounter);
  if (write - read > slot_count_) {
    // No client posts beyond the slot count: the counters were scribbled on, and
    // working through billions of phantom requests would keep every client out.
    shm::Store(header_, acc::kReadCounter, write);
    return false;
  }
  return write != read;
}

bool SfSMFAcceptorV2::HasRequest() {
  if (!IsValid()) return false;
  // A look without the lock: the loop asks every pass, and the named mutex costs system
  // calls. Counters a peer left apart also answer true, so Accept discards them.
  return shm::Load(header_, acc::kWriteCounter) != shm::Load(header_, acc::kReadCounter);
}

void SfSMFAcceptorV2::Repair() {
  if (!IsValid()) return;
  TimedHold hold(*lock_, kLockWaitMs);
  if (hold.held()) PendingLocked();
}

std::unique_ptr<SfSMFLinkV2> SfSMFAcceptorV2::Accept() {
  if (!IsValid()) return nullptr;
  TimedHold hold(*lock_, kLockWaitMs);
  if (!hold.held() || !PendingLocked()) return nullptr;
  const uint32_t read = shm::Load(header_, acc::kReadCounter);
  // The slot index is reduced by our own slot count, never the header's.
  const uint32_t value = shm::Load(header_, acc::kSlots + (read % slot_count_) * 4);
  shm::Word(header_, acc::kReadCounter).fetch_add(1, std::memory_order_acq_rel);
  if (value == 0) return nullptr;
  auto link = std::make_unique<SfSMFLinkV2>();
  if (!link->Connect(LinkName(value), 0)) return nullptr;
  return link;
}

platform::EventObject* SfSMFAcceptorV2::ArmWait() {
  if (request_event_ != nullptr) platform::ResetEvent(request_event_);
  return request_event_;
}

std::string SfSMFAcceptorV2::LinkName(uint32_t value) const {
  return recorded_name_ + "." + std::to_string(value);
}

void SfSMFAcceptorV2::ForgetWaitingRequests() {
  if (!IsValid()) return;
  std::vector<uint32_t> values;
  {
    TimedHold hold(*lock_, kLockWaitMs);
    if (!hold.held() || !PendingLocked()) return;
    const uint32_t write = shm::Load(header_, acc::kWriteCounter);
    for (uint32_t read = shm::Load(header_, acc::kReadCounter); read != write; ++read) {
      values.push_back(shm::Load(header_, acc::kSlots + (read % slot_count_) * 4));
    }
    shm::Store(header_, acc::kReadCounter, write);
  }
  // A client killed while it waited for a place left its first segment held by nobody,
  // and no bus will open it now; looking the name up removes such a file. A waiting
  // client that lives keeps its own and gives up at its time-out. Bounded in time: a
  // peer can fill the queue and hold the namespace lock.
  const uint32_t start = platform::TickCount();
  for (const uint32_t value : values) {
    if (platform::TickCount() - start >= kForgetWithinMs) break;
    if (value != 0) NameExists(SfSMFLinkV2::ClientSegmentName(LinkName(value), 0));
  }
}

void SfSMFAcceptorV2::Destroy() {
  ForgetWaitingRequests();
  platform::CloseEvent(request_event_);
  request_event_ = nullptr;
  lock_.reset();
  header_ = nullptr;
  mapping_.Close();
  ownership_.reset();
  size_ = 0;
  slot_count_ = 0;
  recorded_name_.clear();
}

}  // namespace orvex
