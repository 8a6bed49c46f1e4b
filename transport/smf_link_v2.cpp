#include "transport/smf_link_v2.h"

#include <algorithm>

#include "platform/clock.h"

namespace orvex {

namespace seg = smf_segment;

namespace {
// Its address tells threads apart without a system call per message.
thread_local char this_thread_tag;
// A hostile writer could chain markers in a circle; one Ready follows at most this many.
constexpr int kMaxHopsPerReady = static_cast<int>(SfSMFSegments::kClasses);
}  // namespace

bool SfSMFLinkV2::Connect(const std::string& name, int side) {
  side_ = side;
  if (name.empty()) {
    Destroy();
    return false;
  }
  name_ = name;
  // The wake block exists before the first segment, so a client that sees the segment
  // also finds the block. A name whose segment exists is not ours to touch.
  if (side == 0 && !NameExists(ServerSegmentName(name, 0))) wake_.Create(name);
  const bool wrote = StartWriter(SegmentBase(name, side));
  StartReader(SegmentBase(name, 1 - side));
  return wrote;
}

void SfSMFLinkV2::Destroy() {
  WakePeer();
  wake_.Close();
  name_.clear();
  writer_.CloseAll();
  reader_.CloseAll();
  if (side_ == 0) ForgetPeerSegments();
  ResetWriter();
  ResetReader();
  broken_ = false;
}

void SfSMFLinkV2::ForgetPeerSegments() {
  if (reader_.base().empty()) return;
  // The reader lets go of each client segment it has passed, and a client segment it
  // has not reached yet was never ours: once the client is killed, nobody holds them.
  // Looking a name up removes it when nobody holds it (POSIX; a Windows object is gone
  // with its last handle already), so they do not outlive the link.
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) NameExists(reader_.SegmentName(i));
  reader_.SetBase("");
}

void SfSMFLinkV2::ResetWriter() {
  writing_.store(false, std::memory_order_relaxed);
  write_segment_ = nullptr;
  write_index_ = 0;
  write_offsets_.fill(seg::kHeaderSize);
  reserved_ = false;
  unpublished_ = 0;
  writer_lost_.store(false, std::memory_order_relaxed);
}

void SfSMFLinkV2::ResetReader() {
  peeked_next_ = 0;
  read_segment_ = nullptr;
  read_index_ = 0;
  passed_count_ = 0;
  reader_maps_ = 0;
}

// ---- writer ----

bool SfSMFLinkV2::StartWriter(const std::string& name) {
  if (name != writer_.base()) ResetWriter();
  writer_.SetBase(name);
  if (write_segment_ != nullptr) return true;
  if (name.empty() || writer_.View(0) != nullptr || NameExists(writer_.SegmentName(0))) {
    return false;
  }
  if (writer_.Create(0) == nullptr) return false;
  InitSegment(0);
  write_segment_ = writer_.View(0);
  write_index_ = 0;
  writing_.store(true, std::memory_order_relaxed);
  return true;
}

void SfSMFLinkV2::InitSegment(uint32_t index) {
  uint8_t* s = writer_.View(index);
  const uint32_t now = platform::TickCount();
  shm::Store(s, seg::kSize, SfSMFSegments::ClassSize(index));
  shm::Store(s, seg::kFirstRecord, seg::kHeaderSize);
  shm::Store(s, seg::kPending, 0);
  shm::Store(s, seg::kMarker, 0);
  shm::Store(s, seg::kReadOffset, seg::kHeaderSize);
  shm::Store(s, seg::kWriteOffset, seg::kHeaderSize);
  shm::Store(s, seg::kReadTick, now);
  shm::Store(s, seg::kWriteTick, now);
  write_offsets_[index] = seg::kHeaderSize;
}

bool SfSMFLinkV2::Fits(uint32_t index, uint32_t length) {
  const uint64_t room = seg::RecordRoom(length);
  // Deferring, the header the reader writes is read once a batch, at its first record
  // (a drained segment is rewound then, so a reader that keeps up keeps the link in one
  // segment, and the bus's count of waiting bytes low), and again only when a record
  // does not fit where the writer stands.
  if (index == write_index_ && write_segment_ != nullptr && deferring() && unpublished_ != 0 &&
      SfSMFSegments::ClassSize(index) - write_offsets_[index] >= room) {
    return true;
  }
  uint8_t* s = writer_.View(index);
  if (s == nullptr || shm::Load(s, seg::kMarker) != 0) return false;
  if (shm::Load(s, seg::kPending) == 0 && (index != write_index_ || unpublished_ == 0)) {
    // The reader has consumed everything: start again at the front.
    shm::Store(s, seg::kReadOffset, seg::kHeaderSize);
    shm::Store(s, seg::kWriteOffset, seg::kHeaderSize);
    write_offsets_[index] = seg::kHeaderSize;
  }
  return SfSMFSegments::ClassSize(index) - write_offsets_[index] >= room;
}

bool SfSMFLinkV2::Switch(uint32_t length) {
  // The reader follows a marker only once the old segment shows nothing pending: what
  // was written there must be counted before the marker is set.
  PublishLocked();
  create_failed_ = false;
  // A marked write segment cannot be left again: fail before creating anything.
  if (write_segment_ != nullptr && shm::Load(write_segment_, seg::kMarker) != 0) return false;
  const uint64_t room = seg::RecordRoom(length);
  uint32_t target = SfSMFSegments::kClasses;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses && target == SfSMFSegments::kClasses; ++i) {
    const bool current = write_segment_ != nullptr && i == write_index_;
    if (!current && writer_.View(i) != nullptr && Fits(i, length)) target = i;
  }
  // Within the cap; beyond it only a record no held segment could take, and only
  // when nothing is unread (so a reader that never reads cannot grow the link).
  const uint64_t held = WriterBytesLocked();
  uint64_t largest = 0;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) {
    if (writer_.View(i) != nullptr) largest = SfSMFSegments::ClassSize(i);
  }
  const bool outsized = room + seg::kHeaderSize > largest && UnreadLocked() == 0;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses && target == SfSMFSegments::kClasses; ++i) {
    if (SfSMFSegments::ClassSize(i) < room + seg::kHeaderSize || writer_.View(i) != nullptr ||
        NameExists(writer_.SegmentName(i))) {
      continue;
    }
    if (held + SfSMFSegments::ClassSize(i) > segment_limit_ && !outsized) return false;
    if (writer_.Create(i) == nullptr) {
      create_failed_ = true;
      return false;
    }
    InitSegment(i);
    target = i;
  }
  if (target == SfSMFSegments::kClasses) return false;
  if (write_segment_ != nullptr) {
    if (shm::Load(write_segment_, seg::kMarker) != 0) return false;
    shm::Store(write_segment_, seg::kMarker, seg::kMarkerPattern | target);
  }
  write_segment_ = writer_.View(target);
  write_index_ = target;
  writing_.store(true, std::memory_order_relaxed);
  return true;
}

uint8_t* SfSMFLinkV2::BeginWrite(uint32_t length) {
  if (!single_writer_) {
    writer_lock_.Enter();
    lock_holder_.store(&this_thread_tag, std::memory_order_relaxed);
  }
  if (WriterLost()) {
    ReleaseWriterLock();
    return nullptr;
  }
  // Only a hostile peer marks the segment being written; a deferring writer notices at
  // its next switch rather than reading the header a record.
  const bool stay = write_segment_ != nullptr &&
                    (deferring() || shm::Load(write_segment_, seg::kMarker) == 0) &&
                    Fits(write_index_, length);
  if (!stay) {
    if (!Switch(length)) {
      ReleaseWriterLock();
      return nullptr;
    }
  }
  const uint32_t w = write_offsets_[write_index_];
  const uint32_t next = w + static_cast<uint32_t>(seg::RecordRoom(length));
  shm::Word(write_segment_, w + 4).store(length, std::memory_order_relaxed);
  shm::Word(write_segment_, w).store(next, std::memory_order_relaxed);
  reserved_next_ = next;
  reserved_ = true;
  return write_segment_ + w + 8;
}

bool SfSMFLinkV2::HoldsWriterLock() const {
  return writer_lock_.count() > 0 &&
         lock_holder_.load(std::memory_order_relaxed) == &this_thread_tag;
}

bool SfSMFLinkV2::LockCheckFails() {
  if (single_writer_ || HoldsWriterLock()) return false;
  // Not ours: ReleaseAll reports "Not locked" when nobody holds it and leaves another
  // thread's hold alone.
  writer_lock_.ReleaseAll();
  return true;
}

void SfSMFLinkV2::ReleaseWriterLock() {
  if (single_writer_) return;
  lock_holder_.store(nullptr, std::memory_order_relaxed);
  for (int32_t n = writer_lock_.count(); n > 0; --n) writer_lock_.Leave();
}

bool SfSMFLinkV2::Commit() {
  if (LockCheckFails()) return false;
  if (write_segment_ == nullptr || !reserved_) {
    reserved_ = false;
    ReleaseWriterLock();
    return false;
  }
  reserved_ = false;
  // The next-record offset comes from our own copy: the one in shared memory may have
  // been rewritten by the peer since BeginWrite.
  write_offsets_[write_index_] = reserved_next_;
  ++unpublished_;
  if (defer_wake_.load(std::memory_order_relaxed)) {
    wake_owed_.store(true, std::memory_order_relaxed);
  } else {
    PublishLocked();
    wake_.NotifyPeer();
  }
  // A segment shrunk while the record was written: nobody will ever read it.
  const bool delivered = !WriterLost();
  ReleaseWriterLock();
  return delivered;
}

bool SfSMFLinkV2::Cancel() {
  if (LockCheckFails() || (single_writer_ && !reserved_)) return false;
  reserved_ = false;
  ReleaseWriterLock();
  return true;
}

bool SfSMFLinkV2::CanWrite(uint32_t length) {
  SfScopedLock guard(&writer_lock_);
  if (WriterLost()) return false;
  if (write_segment_ != nullptr && Fits(write_index_, length)) return true;
  return Switch(length);
}

bool SfSMFLinkV2::ReaderFollowedEveryHop() {
  SfScopedLock guard(&writer_lock_);
  if (WriterLost()) return true;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) {
    uint8_t* s = writer_.View(i);
    if (s != nullptr && shm::Load(s, seg::kMarker) != 0) return false;
  }
  return true;
}

void SfSMFLinkV2::PublishLocked() {
  if (unpublished_ == 0 || write_segment_ == nullptr) return;
  shm::Store(write_segment_, seg::kWriteOffset, write_offsets_[write_index_]);
  shm::Store(write_segment_, seg::kWriteTick, platform::TickCount());
  // Release: the records and the write offset are visible before the count is.
  shm::Word(write_segment_, seg::kPending).fetch_add(unpublished_, std::memory_order_acq_rel);
  unpublished_ = 0;
}

void SfSMFLinkV2::SetSegmentLimit(uint64_t bytes) {
  SfScopedLock guard(&writer_lock_);
  segment_limit_ = bytes;
}

bool SfSMFLinkV2::WaitWritable(uint32_t length, uint32_t timeout_ms) {
  const uint32_t t0 = platform::TickCount();
  for (;;) {
    if (CanWrite(length)) return true;
    const uint32_t used = platform::TickCount() - t0;
    if (IsBroken() || used >= timeout_ms) return false;
    // Only the bus wakes a writer for room; it never waits for room itself this way.
    platform::EventObject* wake = side_ == 1 ? wake_.Arm(smf_wake::kWaitRoom) : nullptr;
    if (wake == nullptr) {
      platform::SleepMs(1);
      continue;
    }
    if (!CanWrite(length)) {
      platform::WaitEvent(wake, std::min(timeout_ms - used, kRoomSliceMs));
    }
    wake_.Disarm(smf_wake::kWaitRoom);
  }
}

uint32_t SfSMFLinkV2::UnreadCount() {
  SfScopedLock guard(&writer_lock_);
  return UnreadLocked();
}

uint64_t SfSMFLinkV2::WriterBytes() {
  SfScopedLock guard(&writer_lock_);
  return WriterBytesLocked();
}

uint64_t SfSMFLinkV2::UnreadBytes() {
  SfScopedLock guard(&writer_lock_);
  return UnreadBytesLocked();
}

uint64_t SfSMFLinkV2::UnreadBytesLocked() {
  uint64_t bytes = 0;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) {
    uint8_t* s = writer_.View(i);
    if (s == nullptr) continue;
    const bool unpublished = i == write_index_ && unpublished_ != 0;
    if (shm::Load(s, seg::kPending) == 0 && !unpublished) continue;
    // The end comes from our own copy; the read offset is the reader's word, kept
    // within what we wrote.
    const uint32_t end = write_offsets_[i];
    const uint32_t read = std::min(std::max(shm::Load(s, seg::kReadOffset), seg::kHeaderSize), end);
    bytes += end - read;
  }
  return bytes;
}

uint32_t SfSMFLinkV2::UnreadLocked() {
  uint32_t unread = unpublished_;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) {
    if (uint8_t* s = writer_.View(i)) unread += shm::Load(s, seg::kPending);
  }
  return unread;
}

uint64_t SfSMFLinkV2::WriterBytesLocked() {
  uint64_t bytes = 0;
  for (uint32_t i = 0; i < SfSMFSegments::kClasses; ++i) {
    if (writer_.View(i) != nullptr) bytes += SfSMFSegments::ClassSize(i);
  }
  return bytes;
}

// ---- reader ----

bool SfSMFLinkV2::StartReader(const std::string& name) {
  if (name != reader_.base()) ResetReader();
  reader_.SetBase(name);
  read_index_ = 0;
  if (read_segment_ == nullptr && reader_.View(0) == nullptr && reader_.Open(0) != nullptr) {
    ++reader_maps_;
  }
  read_segment_ = reader_.View(0);
  return !name.empty() && read_segment_ != nullptr;
}

bool SfSMFLinkV2::WriterLost() {
  if (!writer_lost_.load(std::memory_order_relaxed) && writer_.AnyLost()) {
    writer_lost_.store(true, std::memory_order_release);
  }
  return writer_lost_.load(std::memory_order_relaxed);
}

bool SfSMFLinkV2::Ready() {
  if (!broken_ && reader_.AnyLost()) broken_ = true;
  if (broken_) return false;
  if (read_segment_ == nullptr) {
    if (reader_.base().empty()) return false;
    if (reader_.View(0) == nullptr) {
      if (reader_.Open(0) == nullptr) return false;
      ++reader_maps_;
    }
    read_segment_ = reader_.View(0);
    read_index_ = 0;
  }
  if (shm::Load(read_segment_, seg::kPending) > 0) return true;
  for (int hop = 0; hop < kMaxHopsPerReady; ++hop) {
    const uint32_t marker = shm::Load(read_segment_, seg::kMarker);
    if (marker == 0) return false;
    const uint32_t target = marker & 0x00FFFFFFu;
    if ((marker & 0xFF000000u) != seg::kMarkerPattern || target >= SfSMFSegments::kClasses) {
      broken_ = true;
      return false;
    }
    // The writer publishes its last record here before it sets the marker: drain that
    // first, or it would be skipped.
    if (shm::Load(read_segment_, seg::kPending) > 0) return true;
    if (!MoveReaderTo(target)) return false;
    if (shm::Load(read_segment_, seg::kPending) > 0) return true;
  }
  return false;
}

bool SfSMFLinkV2::MoveReaderTo(uint32_t target) {
  uint32_t* const kept_end = passed_.begin() + passed_count_;
  uint32_t* const kept = std::find(passed_.begin(), kept_end, target);
  if (kept != kept_end) {
    std::copy(kept + 1, kept_end, kept);
    --passed_count_;
  } else {
    // Mapped but not among the passed ones: the current segment, a marker pointing back.
    if (reader_.View(target) != nullptr || reader_.Open(target) == nullptr) return false;
    ++reader_maps_;
  }
  shm::Store(read_segment_, seg::kMarker, 0);
  // The segment left is free again: the writer may be waiting for it.
  wake_.NotifyPeerRoom();
  // Kept mapped, as the writer returns to its earlier segments; the least recently left
  // one goes when the cache is full.
  if (SfSMFSegments::ClassSize(read_index_) <= kPassedKeptMaxBytes) {
    if (passed_count_ == kPassedKept) reader_.Drop(passed_[--passed_count_]);
    std::copy_backward(passed_.begin(), passed_.begin() + passed_count_,
                       passed_.begin() + passed_count_ + 1);
    passed_[0] = read_index_;
    ++passed_count_;
  } else {
    reader_.Drop(read_index_);
  }
  peeked_next_ = 0;
  read_segment_ = reader_.View(target);
  read_index_ = target;
  return true;
}

bool SfSMFLinkV2::Locate(uint32_t* offset, uint32_t* length, uint32_t* next) {
  if (!Ready()) return false;
  const uint32_t r = shm::Load(read_segment_, seg::kReadOffset);
  if (!CheckRecord(r, length, next)) return false;
  *offset = r;
  return true;
}

bool SfSMFLinkV2::CheckRecord(uint32_t r, uint32_t* length, uint32_t* next) {
  // Only the size we mapped is trusted, never the segment's own size word.
  const uint64_t size = SfSMFSegments::ClassSize(read_index_);
  if (r < seg::kHeaderSize || r % 8 != 0 || r + uint64_t{8} > size) {
    broken_ = true;
    return false;
  }
  const uint32_t n = shm::Load(read_segment_, r);
  const uint32_t l = shm::Load(read_segment_, r + 4);
  const uint64_t end = r + seg::RecordRoom(l);
  if (end > size || n != end) {
    broken_ = true;
    return false;
  }
  *length = l;
  *next = n;
  return true;
}

uint8_t* SfSMFLinkV2::Peek(uint32_t* length) {
  uint32_t offset = 0, size = 0, next = 0;
  peeked_next_ = 0;
  if (!Locate(&offset, &size, &next)) return nullptr;
  peeked_next_ = next;
  if (length != nullptr) *length = size;
  return read_segment_ + offset + 8;
}

bool SfSMFLinkV2::Pop() {
  uint32_t offset = 0, size = 0, next = peeked_next_;
  peeked_next_ = 0;
  if (next == 0 && !Locate(&offset, &size, &next)) return false;
  shm::Store(read_segment_, seg::kReadOffset, next);
  shm::Store(read_segment_, seg::kReadTick, platform::TickCount());
  // A segment drained to its last record is room again for the writer.
  if (shm::Word(read_segment_, seg::kPending).fetch_sub(1, std::memory_order_acq_rel) == 1) {
    wake_.NotifyPeerRoom();
  }
  return true;
}

uint32_t SfSMFLinkV2::PopBatchWith(uint32_t max, void* context, TakeRecord take) {
  peeked_next_ = 0;
  uint32_t taken = 0;
  while (taken < max && Ready()) {
    const uint32_t pending = shm::Load(read_segment_, seg::kPending);
    uint32_t r = shm::Load(read_segment_, seg::kReadOffset);
    uint32_t here = 0;
    bool refused = false;
    // Each record is checked as Peek checks it; a broken one ends the batch after those
    // before it are consumed.
    while (here < pending && taken < max) {
      uint32_t length = 0, next = 0;
      if (!CheckRecord(r, &length, &next)) break;
      if (!take(context, read_segment_ + r + 8, length)) {
        refused = true;
        break;
      }
      r = next;
      ++here;
      ++taken;
    }
    if (here == 0) break;
    shm::Store(read_segment_, seg::kReadOffset, r);
    shm::Store(read_segment_, seg::kReadTick, platform::TickCount());
    if (shm::Word(read_segment_, seg::kPending).fetch_sub(here, std::memory_order_acq_rel) ==
        here) {
      wake_.NotifyPeerRoom();
    }
    if (refused || broken_) break;
  }
  return taken;
}

bool SfSMFLinkV2::AttachWake() {
  return side_ == 1 && wake_.Open(name_);
}

platform::EventObject* SfSMFLinkV2::ArmWake(uint32_t reason) {
  if (side_ == 0 && !wake_.peer_attached()) return nullptr;
  return wake_.Arm(reason);
}

void SfSMFLinkV2::WakePeer() {
  if (!wake_owed_.load(std::memory_order_relaxed)) return;
  {
    SfScopedLock guard(&writer_lock_);
    if (!wake_owed_.exchange(false, std::memory_order_acq_rel)) return;
    PublishLocked();
  }
  wake_.NotifyPeer();
}

void SfSMFLinkV2::DisarmWake(uint32_t reason) {
  wake_.Disarm(reason);
}

bool SfSMFLinkV2::WaitReady(uint32_t timeout_ms) {
  const uint32_t t0 = platform::TickCount();
  for (;;) {
    if (Ready()) return true;
    const uint32_t used = platform::TickCount() - t0;
    if (broken_ || used >= timeout_ms) return false;
    platform::EventObject* wake = ArmWake();
    if (wake == nullptr) {
      if (interrupted_.exchange(false)) return false;
      platform::SleepMs(1);
      continue;
    }
    // Looked at after the reset: an interrupt either shows here or sets the event later.
    if (Ready() || interrupted_.exchange(false)) {
      DisarmWake();
      return Ready();
    }
    platform::WaitEvent(wake, timeout_ms == platform::kInfinite ? timeout_ms : timeout_ms - used);
    DisarmWake();
    if (interrupted_.exchange(false)) return Ready();
  }
}

void SfSMFLinkV2::InterruptWait() {
  interrupted_.store(true);
  wake_.WakeSelf();
}

}  // namespace orvex
