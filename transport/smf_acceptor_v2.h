#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/event.h"
#include "transport/sf_mutex.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_link_v2.h"

namespace orvex {

// Layout of the V2 acceptor header: counters and a ring of 32-bit request values.
namespace smf_acceptor {
inline constexpr uint32_t kSize = 0;
inline constexpr uint32_t kSlotOffset = 4;
inline constexpr uint32_t kSlotCount = 8;
inline constexpr uint32_t kReadCounter = 12;
inline constexpr uint32_t kWriteCounter = 16;
inline constexpr uint32_t kReserved = 20;
inline constexpr uint32_t kProcessId = 24;
inline constexpr uint32_t kTick = 28;
inline constexpr uint32_t kName = 32;
inline constexpr uint32_t kNameMax = 63;
inline constexpr uint32_t kSlots = 96;
inline constexpr uint32_t kDefaultSize = 4096;
// Smallest header that still has one request slot.
inline constexpr uint32_t kMinSize = kSlots + 4;
// The link prefix that the header records for `name`: at most kNameMax characters.
inline std::string RecordedName(const std::string& name) {
  return name.substr(0, kNameMax);
}
}  // namespace smf_acceptor

// The bus's side of the V2 handshake (acceptor name = base + ".V2"). Holds the
// ownership mutex name + ".AccMT" for its whole life, so one bus serves V2 per name;
// clients post request values under name + ".MT" and each value becomes a link
// name + "." + value. Used from one thread (the bus's service thread).
class SfSMFAcceptorV2 {
 public:
  // How long Construct waits for the ownership mutex held by another bus.
  static constexpr uint32_t kOwnershipWaitMs = 500;
  // How long HasRequest and Accept wait for a client holding ".MT" before giving up
  // for this pass.
  static constexpr uint32_t kLockWaitMs = 100;

  SfSMFAcceptorV2() = default;
  ~SfSMFAcceptorV2() { Destroy(); }
  SfSMFAcceptorV2(const SfSMFAcceptorV2&) = delete;
  SfSMFAcceptorV2& operator=(const SfSMFAcceptorV2&) = delete;

  // Takes ownership of `name` (within 500 ms), opens or creates its header mapping,
  // adopts the size a previous bus recorded there and rewrites the header. False, with
  // everything closed, when another bus owns the name or any object fails.
  bool Construct(const std::string& name);
  // True when a client has posted a request not yet taken (or a peer left the counters
  // apart, which the next Accept discards). Reads the counters without the lock mutex:
  // the bus asks every pass.
  bool HasRequest();
  // Under the lock mutex: puts back the header words that belong to the bus (size, slot
  // offset and count, reserved, process id, tick, name) from its private copy, and
  // discards the queue when a peer has left the counters further apart than the slot
  // count. The bus calls it with its heartbeats: a peer that scribbles on the header
  // locks new clients out until then at most.
  void Repair();
  // Takes the next request (repairing the header as Repair does). A link connected as side 0
  // under the request's name, or null: no request, a request value 0, or a link that could not
  // start (its name in use). The request is consumed in every case but the first.
  std::unique_ptr<SfSMFLinkV2> Accept();
  // The optional wake-up event name + ".EV", which a client sets after posting a request
  // (null when it could not be made): reset and returned for a server about to sleep.
  // Look for requests once more (HasRequest) before waiting on it.
  platform::EventObject* ArmWait();
  // Closes the lock mutex, the mapping, the wake-up event and the ownership mutex
  // (releasing it). Requests still waiting are dropped, and the first segments of those
  // whose clients were killed are removed (for at most kForgetWithinMs).
  void Destroy();
  static constexpr uint32_t kForgetWithinMs = 250;

  bool OwnsName() const { return ownership_ && ownership_->count() > 0; }
  bool IsValid() const { return OwnsName() && mapping_.IsValid() && header_ != nullptr; }
  // Header size in use and the request slots it holds (both within the mapping).
  uint32_t size() const { return size_; }
  uint32_t slot_count() const { return slot_count_; }

 private:
  bool MapHeader(const std::string& name);
  // The name of the link a client asked for with `value`.
  std::string LinkName(uint32_t value) const;
  void WriteHeader();
  void RestoreOwnWords();
  // Under the lock: restores the bus's words, checks the counters; true with a request.
  bool PendingLocked();
  // Empties the queue; removes the first segments of waiting clients that were killed.
  void ForgetWaitingRequests();

  std::optional<SfMutex> ownership_;
  std::optional<SfMutex> lock_;
  platform::EventObject* request_event_ = nullptr;
  SfSharedMemory mapping_;
  uint8_t* header_ = nullptr;
  uint32_t size_ = 0;
  uint32_t slot_count_ = 0;
  // The name as recorded in the header; links are named after this copy, never after
  // the header's bytes, which clients can rewrite.
  std::string recorded_name_;
  uint32_t header_tick_ = 0;  // the tick written into the header at construction
};

}  // namespace orvex
