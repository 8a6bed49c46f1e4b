#include "transport/smf_ring.h"

#include <cstring>

#include "platform/clock.h"
#include "transport/named_event.h"

namespace orvex {

bool SfSMFRing::Open(const std::string& name, uint32_t slot_size, uint32_t slot_count,
                     bool create) {
  Close();
  const uint64_t bytes = static_cast<uint64_t>(slot_size) * slot_count + sizeof(SmfRingHeader);
  if (slot_size == 0 || slot_count < 2 || bytes > kMaxRingBytes) return false;
  const std::string mutex_name = name + "_MT";
  if (create) {
    setup_mutex_.Create(mutex_name, true);
  } else {
    setup_mutex_.Open(mutex_name, true);
  }
  memory_.OpenOrCreate(create, name, static_cast<uint32_t>(bytes));
  data_event_ = MakeNamedEvent(name + "_RE", !create);
  space_event_ = MakeNamedEvent(name + "_WE", !create);
  slot_size_ = slot_size;
  slot_count_ = slot_count;
  if (memory_.IsValid()) {
    header_ = reinterpret_cast<SmfRingHeader*>(memory_.view());
    slots_ = memory_.view() + sizeof(SmfRingHeader);
  }
  if (create && setup_mutex_.count() > 0 && IsValid()) {
    std::memset(static_cast<void*>(header_), 0, sizeof(SmfRingHeader));
  }
  setup_mutex_.Release();
  return IsValid();
}

void SfSMFRing::Close() {
  platform::CloseEvent(data_event_);
  platform::CloseEvent(space_event_);
  data_event_ = space_event_ = nullptr;
  memory_.Close();
  setup_mutex_.Close();
  header_ = nullptr;
  slots_ = nullptr;
  slot_size_ = slot_count_ = 0;
  broken_ = false;
}

bool SfSMFRing::IsValid() const {
  return setup_mutex_.IsOpen() && memory_.IsValid() && data_event_ != nullptr &&
         space_event_ != nullptr;
}

bool SfSMFRing::LoadIndexes(uint32_t* read, uint32_t* write) {
  if (broken_ || header_ == nullptr) return false;
  if (memory_.lost()) {
    broken_ = true;
    return false;
  }
  // Sequentially consistent: these loads are the second half of the wake-up handshakes
  // (see Publish and Pop); on x86 they cost no more than acquire loads.
  *read = header_->read_index.load(std::memory_order_seq_cst);
  *write = header_->write_index.load(std::memory_order_seq_cst);
  if (*read < slot_count_ && *write < slot_count_) return true;
  broken_ = true;
  return false;
}

bool SfSMFRing::HasData() {
  uint32_t read = 0;
  uint32_t write = 0;
  return LoadIndexes(&read, &write) && read != write;
}

bool SfSMFRing::HasSpace() {
  uint32_t read = 0;
  uint32_t write = 0;
  return LoadIndexes(&read, &write) && (write + 1) % slot_count_ != read;
}

uint8_t* SfSMFRing::Peek() {
  uint32_t read = 0;
  uint32_t write = 0;
  return LoadIndexes(&read, &write) ? Slot(read) : nullptr;
}

uint8_t* SfSMFRing::WriteSlot() {
  uint32_t read = 0;
  uint32_t write = 0;
  return LoadIndexes(&read, &write) ? Slot(write) : nullptr;
}

void SfSMFRing::Pop() {
  uint32_t read = 0;
  uint32_t write = 0;
  if (!LoadIndexes(&read, &write) || read == write) return;
  // Index store, then flag load, both sequentially consistent, against WaitSpace's flag
  // store, then index load: either the writer sees the freed slot before it sleeps or
  // this sees its flag.
  header_->read_index.exchange((read + 1) % slot_count_, std::memory_order_seq_cst);
  if (header_->writer_waiting.load(std::memory_order_seq_cst)) platform::SetEvent(space_event_);
}

void SfSMFRing::Publish() {
  uint32_t read = 0;
  uint32_t write = 0;
  if (!LoadIndexes(&read, &write)) return;
  // As in Pop, against ArmWait and the reader's next look at the indexes.
  header_->write_index.exchange((write + 1) % slot_count_, std::memory_order_seq_cst);
  if (header_->reader_waiting.load(std::memory_order_seq_cst)) platform::SetEvent(data_event_);
}

platform::EventObject* SfSMFRing::ArmWait() {
  if (broken_ || header_ == nullptr) return nullptr;
  platform::ResetEvent(data_event_);
  // Pairs with Publish: the caller's next look at the indexes (sequentially consistent,
  // as this store) sees the writer's slot, or the writer sees this flag.
  header_->reader_waiting.store(1, std::memory_order_seq_cst);
  return data_event_;
}

bool SfSMFRing::StillArmed() const {
  return header_ != nullptr && header_->reader_waiting.load(std::memory_order_relaxed) != 0;
}

void SfSMFRing::DisarmWait() {
  if (header_ != nullptr) header_->reader_waiting.store(0, std::memory_order_relaxed);
}

bool SfSMFRing::WaitData(uint32_t timeout_ms) {
  if (HasData()) return true;
  if (timeout_ms == 0 || broken_ || header_ == nullptr) return false;
  const uint32_t t0 = platform::TickCount();
  for (;;) {
    platform::EventObject* event = ArmWait();
    if (event == nullptr) return false;
    // Looked at after the reset: an interrupt either shows here or sets the event later.
    if (HasData() || interrupted_.exchange(false)) {
      DisarmWait();
      return HasData();
    }
    const uint32_t used = platform::TickCount() - t0;
    platform::WaitEvent(event, used >= timeout_ms ? 0 : timeout_ms - used);
    DisarmWait();
    if (HasData()) return true;
    if (interrupted_.exchange(false)) return false;
    if (broken_ || platform::TickCount() - t0 >= timeout_ms) return false;
    platform::SleepMs(1);
  }
}

void SfSMFRing::InterruptWait() {
  interrupted_.store(true);
  if (data_event_ != nullptr) platform::SetEvent(data_event_);
}

bool SfSMFRing::WaitSpace() {
  constexpr uint32_t kLimit = 100;
  if (HasSpace()) return true;
  if (broken_ || header_ == nullptr) return false;
  const uint32_t t0 = platform::TickCount();
  for (;;) {
    platform::ResetEvent(space_event_);
    // Pairs with Pop, as ArmWait with Publish.
    header_->writer_waiting.store(1, std::memory_order_seq_cst);
    if (HasSpace()) {
      header_->writer_waiting.store(0, std::memory_order_relaxed);
      return true;
    }
    const uint32_t used = platform::TickCount() - t0;
    platform::WaitEvent(space_event_, used >= kLimit ? 0 : kLimit - used);
    header_->writer_waiting.store(0, std::memory_order_relaxed);
    if (HasSpace()) return true;
    if (broken_ || platform::TickCount() - t0 >= kLimit) return false;
  }
}

}  // namespace orvex
