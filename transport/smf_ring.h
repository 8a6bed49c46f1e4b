#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"

namespace orvex {

// Shared layout of a ring: a 16-byte header, then slot_count slots of slot_size bytes.
struct SmfRingHeader {
  std::atomic<uint32_t> read_index;   // written only by the reader
  std::atomic<uint32_t> write_index;  // written only by the writer
  std::atomic<uint8_t> reader_waiting;
  std::atomic<uint8_t> writer_waiting;
  uint8_t reserved[6];
};
static_assert(sizeof(SmfRingHeader) == 16);

// Largest ring the bus builds: a request beyond it is refused rather than letting a
// client make the bus map (or overflow the size of) an absurd object.
inline constexpr uint64_t kMaxRingBytes = 256u << 20;

// One direction of a classic link: fixed-size slots in shared memory with a read and a
// write index. One slot always stays empty, so n slots hold n - 1 messages.
//
// Both indexes live in memory the peer can write. Every index is checked against the
// slot count before use; one out of range marks the ring broken, after which it
// reports neither data nor space, so a hostile peer can stop its own link but never
// make this process touch memory outside the mapping. A ring shrunk by the peer is
// broken as well.
class SfSMFRing {
 public:
  SfSMFRing() = default;
  ~SfSMFRing() { Close(); }
  SfSMFRing(const SfSMFRing&) = delete;
  SfSMFRing& operator=(const SfSMFRing&) = delete;

  // Creates (create side: also zeroes the header) or opens the ring `name` with its
  // "_MT" set-up mutex and "_RE"/"_WE" events. IsValid tells the outcome.
  bool Open(const std::string& name, uint32_t slot_size, uint32_t slot_count, bool create);
  void Close();
  bool IsValid() const;
  // The peer broke the header, or shrank the mapping (its view lost).
  // Any thread.
  bool broken() const { return broken_.load(std::memory_order_relaxed) || memory_.lost(); }

  bool HasData();
  bool HasSpace();
  // The slot at the read index; only meaningful when HasData.
  uint8_t* Peek();
  // The slot at the write index, to fill before Publish; null when the ring is broken.
  uint8_t* WriteSlot();
  // Consumes the slot at the read index and wakes a waiting writer.
  void Pop();
  // Publishes the slot at the write index and wakes a waiting reader.
  void Publish();
  // Waits up to `timeout_ms` for data (0 only tests); announces the wait in the header.
  // False at once, without data, after InterruptWait.
  bool WaitData(uint32_t timeout_ms);
  // Any thread of the reading process: ends the reader's current or next WaitData.
  void InterruptWait();
  // Before the reader sleeps: resets and returns the data event with the wait announced
  // in the header (null when the ring is broken); look for data once more before
  // waiting. DisarmWait withdraws the announcement.
  platform::EventObject* ArmWait();
  void DisarmWait();
  // Between ArmWait and DisarmWait: the announcement is still in the header. Only the
  // reader withdraws it, so false means another process cleared it.
  bool StillArmed() const;
  // Waits up to 100 ms for space.
  bool WaitSpace();

  uint32_t slot_size() const { return slot_size_; }
  uint32_t slot_count() const { return slot_count_; }
  platform::EventObject* data_event() const { return data_event_; }

 private:
  // Loads both indexes and checks them; false (and broken) when one is out of range.
  bool LoadIndexes(uint32_t* read, uint32_t* write);
  uint8_t* Slot(uint32_t index) const { return slots_ + static_cast<size_t>(index) * slot_size_; }

  SfMutex setup_mutex_;
  SfSharedMemory memory_;
  platform::EventObject* data_event_ = nullptr;
  std::atomic<bool> interrupted_{false};
  platform::EventObject* space_event_ = nullptr;
  uint32_t slot_size_ = 0;
  uint32_t slot_count_ = 0;
  SmfRingHeader* header_ = nullptr;
  uint8_t* slots_ = nullptr;
  // Set by whichever thread finds the header broken; read by any thread (broken()).
  std::atomic<bool> broken_{false};
};

}  // namespace orvex
