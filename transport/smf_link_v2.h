#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/event.h"
#include "threading/critical_section.h"
#include "transport/smf_segments.h"
#include "transport/smf_wake_v2.h"

namespace orvex {

// Layout of a V2 segment: a 32-byte header followed by records. A record at offset o
// is [next-record offset o + 8 + P][payload length L][payload], P being L rounded up
// to a multiple of 8.
namespace smf_segment {
inline constexpr uint32_t kSize = 0;
inline constexpr uint32_t kFirstRecord = 4;
inline constexpr uint32_t kPending = 8;
inline constexpr uint32_t kMarker = 12;
inline constexpr uint32_t kReadOffset = 16;
inline constexpr uint32_t kWriteOffset = 20;
inline constexpr uint32_t kReadTick = 24;
inline constexpr uint32_t kWriteTick = 28;
inline constexpr uint32_t kHeaderSize = 32;
inline constexpr uint32_t kMarkerPattern = 0xFF000000u;
// P + 8: the room a record with payload length `length` takes (64-bit: no overflow).
inline uint64_t RecordRoom(uint32_t length) {
  return ((uint64_t{length} + 7) & ~uint64_t{7}) + 8;
}
}  // namespace smf_segment

// One V2 connection: a writer that fills its own segments (name.S.i on the server,
// side 0; name.C.i on a client, side 1) and a reader that drains the peer's. No kernel
// locks. Wake-ups are an optional addition (SfSMFWakeV2): the server offers them for
// every link it starts, a client takes them with AttachWake; without them both ends
// poll. Every word the peer can write is checked before
// use; a record or marker that breaks the layout makes the link broken (IsBroken),
// after which it reads nothing more. Writer calls may come from several threads (the
// writer lock serialises them); reader calls from one thread at a time.
class SfSMFLinkV2 {
 public:
  SfSMFLinkV2() = default;
  ~SfSMFLinkV2() { Destroy(); }
  SfSMFLinkV2(const SfSMFLinkV2&) = delete;
  SfSMFLinkV2& operator=(const SfSMFLinkV2&) = delete;

  // The segments of link `name` that side 0 (the server, name + ".S") or side 1 (the
  // client, name + ".C") writes: their base, and the name of segment `index`.
  static std::string SegmentBase(const std::string& name, int side) {
    return name + (side == 1 ? ".C" : ".S");
  }
  static std::string ClientSegmentName(const std::string& name, uint32_t index) {
    return SfSMFSegments::SegmentName(SegmentBase(name, 1), index);
  }
  static std::string ServerSegmentName(const std::string& name, uint32_t index) {
    return SfSMFSegments::SegmentName(SegmentBase(name, 0), index);
  }
  // Starts the writer under name + ".S" (side 0) or name + ".C" (side 1) and the reader
  // under the other suffix. The writer's result: false with an empty name or when its
  // first segment already exists (a stale or duplicate link name). The reader may find
  // the peer's first segment later.
  bool Connect(const std::string& name, int side);
  // Closes every segment of both directions and the wake-ups. The server also removes
  // client segments nobody holds any more (those of a client that was killed).
  void Destroy();
  // The link's name, as given to Connect.
  const std::string& name() const { return name_; }

  // Client: takes the wake-ups the bus offers for this link (after Connect). False when
  // it offers none; the link then works by polling.
  bool AttachWake();
  bool has_wake() const { return wake_.IsValid(); }
  // Before this side sleeps: the event to wait on, with the sleep announced to the peer
  // for `reason` (smf_wake::kWaitRecords, kWaitRoom or both); look for a record (or
  // room) once more before waiting. Null when this link must be polled (no wake-ups, or
  // on the server a client that did not attach them).
  platform::EventObject* ArmWake(uint32_t reason = smf_wake::kWaitRecords);
  // After such a wait (or instead of it), with the same reason.
  void DisarmWake(uint32_t reason = smf_wake::kWaitRecords);
  // Between the two: the announcement of `reason` still stands (SfSMFWakeV2::StillArmed).
  bool WakeStillArmed(uint32_t reason = smf_wake::kWaitRecords) const {
    return wake_.StillArmed(reason);
  }
  // Server: the client wakes it when it frees room in the server's segments, so a
  // writer held back by a full link may sleep for room instead of polling.
  bool PeerFreesRoom() const { return side_ == 0 && wake_.peer_frees_room(); }
  // With `defer`, a commit writes its record but neither publishes it to the reader nor
  // wakes the reader: WakePeer publishes every record committed since (the write offset,
  // the tick and one addition to the segment's pending count, which the reader also
  // writes) and wakes a sleeping reader once. While deferring, the writer reads the
  // segment header at the first record of a batch and when a record does not fit where
  // it stands: a writer that commits many records in a row then shares that cache line
  // with the reader once a batch instead of once a record. Switching segments and Destroy publish
  // what waits. Any thread.
  void DeferWake(bool defer) { defer_wake_.store(defer, std::memory_order_relaxed); }
  void WakePeer();
  // The owner promises that one thread at a time writes (the bus's server thread):
  // BeginWrite, Commit and Cancel then take no lock, and Commit or Cancel without a
  // reservation simply fails. Set before the first write.
  void SetSingleWriter() { single_writer_ = true; }

  // Writer. Creates segment 0 of `name` unless already writing; never attaches to an
  // existing name. True with a write segment.
  bool StartWriter(const std::string& name);
  // Reserves a record of `length` payload bytes and returns where to write them, with
  // the writer lock held until Commit or Cancel. Null (lock released) when no segment
  // can take the record.
  uint8_t* BeginWrite(uint32_t length);
  // Publishes the reserved record (or, deferred, leaves that to WakePeer) and releases
  // the writer lock. False when the calling thread does not hold the lock (with
  // "\nNot locked\n" on standard error when nobody does) or nothing is reserved.
  bool Commit();
  // Drops the reservation and releases the writer lock; the same checks as Commit.
  bool Cancel();
  // True when a record of `length` bytes can be written now (may switch segments).
  bool CanWrite(uint32_t length);
  // True when the peer's reader has followed every forward marker we set (or nothing more
  // can reach it): closing now takes no segment it has not mapped yet.
  bool ReaderFollowedEveryHop();
  // Caps the bytes of segments the writer creates (default: no cap). A new segment that
  // would pass the cap is not created, so BeginWrite fails until the reader frees room;
  // only a record too large for every segment held may still get its own segment, and
  // only while the reader has consumed everything. Any thread.
  void SetSegmentLimit(uint64_t bytes);
  // The last BeginWrite that needed a new segment failed because the segment could not
  // be created (the user's name lock held elsewhere, no space), not for the cap.
  bool create_failed() const { return create_failed_; }
  // CanWrite, waited for until `timeout_ms` has passed: a client asleep on the link's
  // wake-up event, woken when the bus consumes records of a full link (looking again
  // at least every kRoomSliceMs, as a reader of the same client shares the event);
  // without wake-ups polled every millisecond. False on time-out or a broken link.
  bool WaitWritable(uint32_t length, uint32_t timeout_ms);
  static constexpr uint32_t kRoomSliceMs = 10;
  // Records written and not yet consumed by the reader, over all writer segments
  // (published or not).
  uint32_t UnreadCount();
  // Bytes of the segments the writer holds.
  uint64_t WriterBytes();
  // Bytes of records written and not yet consumed by the reader, over all writer
  // segments (published or not): what a reader still has to take, unlike WriterBytes,
  // which keeps the room a past burst grew.
  uint64_t UnreadBytes();

  // Reader. Opens the peer's segment 0 of `name` when it exists. True with a segment.
  bool StartReader(const std::string& name);
  // True when a record is waiting; follows the writer's forward markers once the
  // current segment is drained.
  bool Ready();
  // Address of the waiting record's payload and its length in *length, or null. The
  // payload lies wholly inside the segment; it stays valid until Pop.
  uint8_t* Peek(uint32_t* length);
  // Consumes the waiting record. False when there is none.
  bool Pop();
  // Hands up to `max` waiting records to `take(payload, length)` in order, following
  // markers, and consumes each one `take` accepts (true); the first it refuses stays
  // for later and ends the batch. The payload is valid only during the call. Read and
  // pending offsets are published once per segment visited, not once per record. The
  // number of records consumed.
  template <typename Take>
  uint32_t PopBatch(uint32_t max, Take&& take) {
    return PopBatchWith(max, &take, [](void* t, const uint8_t* p, uint32_t n) {
      return (*static_cast<std::remove_reference_t<Take>*>(t))(p, n);
    });
  }
  // Ready, waited for until `timeout_ms` has passed (0: once): asleep on the wake-up
  // event when the link has one, else polled every millisecond. False at once, without
  // a record, after InterruptWait.
  bool WaitReady(uint32_t timeout_ms);
  // Any thread of the reading process: ends the reader's current or next WaitReady.
  void InterruptWait();

  // True once the peer broke the layout or shrank a segment; the reader then reports
  // nothing and the writer writes nothing.
  // Any thread.
  bool IsBroken() const {
    return broken_.load(std::memory_order_relaxed) || writer_lost_.load(std::memory_order_acquire);
  }
  // Writer named, a write segment present and not broken. Any thread, without the
  // writer lock (a bus loop asks while another thread writes).
  bool IsValid() const { return writing_.load(std::memory_order_relaxed) && !IsBroken(); }
  // True once the peer's first segment has been found.
  bool ReaderAttached() const { return read_segment_ != nullptr; }
  // Peer segments the reader holds mapped: the current one and up to kPassedKept it
  // has passed (so a writer returning to them costs no new mapping).
  uint32_t ReaderSegmentsMapped() const { return reader_.held_count(); }
  // Times the reader mapped a peer segment since Connect.
  uint64_t reader_maps() const { return reader_maps_; }
  static constexpr uint32_t kPassedKept = 3;
  // Only segments up to this size stay mapped once passed: the large ones are rare and
  // would hold address space (a 32-bit process has little).
  static constexpr uint32_t kPassedKeptMaxBytes = 1u << 20;
  int side() const { return side_; }
  uint32_t write_index() const { return write_index_; }
  uint32_t read_index() const { return read_index_; }

 private:
  void InitSegment(uint32_t index);
  bool Fits(uint32_t index, uint32_t length);
  bool Switch(uint32_t length);
  bool HoldsWriterLock() const;
  uint32_t UnreadLocked();
  uint64_t WriterBytesLocked();
  uint64_t UnreadBytesLocked();
  bool LockCheckFails();
  void ReleaseWriterLock();
  bool Locate(uint32_t* offset, uint32_t* length, uint32_t* next);
  // Checks the record at read offset `r` of the read segment: its length and next
  // offset, or false (and the link broken) when it breaks the layout.
  bool CheckRecord(uint32_t r, uint32_t* length, uint32_t* next);
  using TakeRecord = bool (*)(void* context, const uint8_t* payload, uint32_t length);
  uint32_t PopBatchWith(uint32_t max, void* context, TakeRecord take);
  // Moves the reader to peer segment `target`, keeping the one it leaves mapped when the
  // cache of passed segments has room. False when `target` cannot be mapped.
  bool MoveReaderTo(uint32_t target);
  bool deferring() const { return defer_wake_.load(std::memory_order_relaxed); }
  void ResetWriter();
  void ResetReader();
  // Server, closing: removes the client's segments nobody holds any more.
  void ForgetPeerSegments();
  // Under the writer lock: true (and remembered) once a writer segment was lost.
  bool WriterLost();
  // Under the writer lock: adds the committed records not yet counted to the write
  // segment's pending count, the one store that shows them to the reader.
  void PublishLocked();

  int side_ = 0;
  std::string name_;
  SfSMFWakeV2 wake_;
  std::atomic<bool> defer_wake_{false};
  bool single_writer_ = false;
  std::atomic<bool> wake_owed_{false};
  std::atomic<bool> interrupted_{false};
  // Writer: offsets are kept here and only mirrored to shared memory, so a peer that
  // rewrites them cannot move our writes outside a segment.
  SfSMFSegments writer_;
  SfCriticalSection writer_lock_;
  std::atomic<const void*> lock_holder_{nullptr};
  uint8_t* write_segment_ = nullptr;
  // write_segment_ != nullptr, for IsValid, which reads it without the writer lock.
  std::atomic<bool> writing_{false};
  uint32_t write_index_ = 0;
  std::array<uint32_t, SfSMFSegments::kClasses> write_offsets_{};
  uint32_t reserved_next_ = 0;
  // Records committed to write_segment_ and not yet in its pending count (deferred).
  uint32_t unpublished_ = 0;
  bool reserved_ = false;
  uint64_t segment_limit_ = UINT64_MAX;
  bool create_failed_ = false;
  std::atomic<bool> writer_lost_{false};
  // Reader.
  SfSMFSegments reader_;
  uint8_t* read_segment_ = nullptr;
  uint32_t read_index_ = 0;
  // Passed peer segments still mapped, most recently left first.
  std::array<uint32_t, kPassedKept> passed_{};
  uint32_t passed_count_ = 0;
  uint64_t reader_maps_ = 0;
  // Set by the reader; read by any thread (IsBroken).
  std::atomic<bool> broken_{false};
  // The record Peek located, so Pop need not check it again (0: none). Valid while
  // pending stays above 0, which only our own Pop can change.
  uint32_t peeked_next_ = 0;
};

}  // namespace orvex
