#pragma once
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "transport/sf_shared_memory.h"

namespace orvex {

// Layout of a V2 link's wake block, the mapping link + ".W". It sits beside the link's
// segments, whose layout it leaves alone, so a client that never opens it loses
// nothing: the bus keeps polling that client's link.
namespace smf_wake {
inline constexpr uint32_t kVersion = 0;          // 1, written by the bus
inline constexpr uint32_t kBusWaiting = 4;       // non-zero while the bus may sleep on ".WS"
inline constexpr uint32_t kClientWaiting = 8;    // non-zero while the client may sleep on ".WC"
inline constexpr uint32_t kClientAttached = 12;  // bits below, set by the client
inline constexpr uint32_t kSize = 64;
inline constexpr uint32_t kCurrentVersion = 1;
// Bits of a waiting word: its side's reader waits for records; its writer waits for
// the peer to consume records and so free room in a full link.
inline constexpr uint32_t kWaitRecords = 1;
inline constexpr uint32_t kWaitRoom = 2;
// Bits of kClientAttached: the client sets ".WS" after its commits; and it also sets it
// after a pop that empties one of the bus's segments or leaves one behind (a marker
// followed), so a bus that holds messages for a full link may sleep until there is room.
// Any non-zero word counts as attached (older clients store 1).
inline constexpr uint32_t kAttachedRecords = 1;
inline constexpr uint32_t kAttachedRoom = 2;
}  // namespace smf_wake

// The optional wake-ups of one V2 link: a block of "reader waiting" words and two
// manual-reset events, link + ".WS" (the bus sleeps on it) and link + ".WC" (the
// client sleeps on it). A writer that has published a record sets the peer's event
// only when the peer announced that it sleeps, so a busy reader costs its writer no
// system call. The peer may write anything into the block: its words are only ever
// read as flags. Writer calls (NotifyPeer) may come from any thread; Arm/Disarm from
// the reading thread.
class SfSMFWakeV2 {
 public:
  SfSMFWakeV2() = default;
  ~SfSMFWakeV2() { Close(); }
  SfSMFWakeV2(const SfSMFWakeV2&) = delete;
  SfSMFWakeV2& operator=(const SfSMFWakeV2&) = delete;

  // Bus side: creates the block (version 1, every flag 0) and both events for `link`.
  // False, with everything closed, when any of them fails.
  bool Create(const std::string& link);
  // Client side: opens the bus's block and events and marks the client attached.
  // False, with everything closed, when the bus offers none (an older bus).
  bool Open(const std::string& link);
  void Close();
  bool IsValid() const { return own_ != nullptr; }

  // After a record was published: wakes the peer if it announced a sleep.
  void NotifyPeer();
  // After records of the peer were consumed so that its writer may find room: wakes
  // the peer if its writer announced that it sleeps for room.
  void NotifyPeerRoom();
  // Before this side sleeps for `reason` (kWaitRecords or kWaitRoom): resets and
  // returns its own event and announces the sleep. The caller must look once more
  // (for records, or for room) before it waits. Its reader and its writer may wait
  // at once from two threads: the reasons are separate bits.
  platform::EventObject* Arm(uint32_t reason = smf_wake::kWaitRecords);
  // After the wait for `reason` ended (or was not needed).
  void Disarm(uint32_t reason = smf_wake::kWaitRecords);
  // Between Arm and Disarm: every bit of `reason` is still announced. Only this side
  // withdraws them, so false means another process cleared them.
  bool StillArmed(uint32_t reason = smf_wake::kWaitRecords) const;
  // Sets this side's own event: whoever sleeps on it here wakes and looks again.
  void WakeSelf();
  // Bus side: the client said it sets ".WS"; until then its link must be polled.
  bool peer_attached() const;
  // Bus side: the client also sets ".WS" when it frees room (kAttachedRoom); until then a
  // full link must be polled for room.
  bool peer_frees_room() const;

 private:
  uint32_t own_flag() const {
    return side_ == 0 ? smf_wake::kBusWaiting : smf_wake::kClientWaiting;
  }
  // The peer's waiting word, read in step with the peer's Arm (see there).
  uint32_t PeerFlag();
  uint32_t peer_flag() const {
    return side_ == 0 ? smf_wake::kClientWaiting : smf_wake::kBusWaiting;
  }

  int side_ = 0;
  SfSharedMemory block_;
  platform::EventObject* own_ = nullptr;   // the event this side sleeps on
  platform::EventObject* peer_ = nullptr;  // the event the other side sleeps on
};

}  // namespace orvex
