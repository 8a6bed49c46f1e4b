#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <vector>

#include "bus/held_messages.h"
#include "bus/slow_policy.h"
#include "transport/smf_connection.h"
#include "transport/smf_liveness.h"

namespace orvex {

// The bus's record of one link: the link itself, its connection id, the outgoing
// message under construction, the messages held in the bus while the link is past its
// bound, the receive bookkeeping and the pending inactive notice. One writer: the
// server thread (the shutdown's last words too), or the main thread once the server
// thread has ended, so sending takes no lock. Only holding() may be asked elsewhere.
class RtdConnection {
 public:
  // How long closing waits for a classic link's pump to deliver what is committed.
  static constexpr uint32_t kCloseDrainMs = 200;
  static constexpr uint32_t kCloseStallMs = 20;

  RtdConnection(std::unique_ptr<SfSMFConnection> link, uint16_t id, uint32_t now,
                const LinkFlow& flow);
  // Writes out held messages as far as the link takes them, then releases the link.
  ~RtdConnection();
  RtdConnection(const RtdConnection&) = delete;
  RtdConnection& operator=(const RtdConnection&) = delete;

  uint16_t id() const { return id_; }
  bool is_v2() const { return link_->is_v2(); }
  // The link works and has not been given up.
  bool IsUsable();

  // Starts a message of `code`: a 128-byte buffer on a classic link, a record of exactly
  // `v2_length` bytes on a V2 link, with the header (id, code, tick) filled in, until
  // Commit or Cancel. The buffer is in the link, or in the bus when
  // messages are already held or the link is past its bound. `key` (not 0) names what
  // a newer message may replace while held (conflation); `continues` marks a further
  // part of the message sent last under `key`. Empty when the link is not usable.
  std::span<uint8_t> Begin(uint16_t code, uint32_t v2_length, uint64_t key = 0,
                           bool continues = false);
  // Begin with the header's tick given: a sender of many messages reads the clock once.
  std::span<uint8_t> BeginAt(uint32_t tick, uint16_t code, uint32_t v2_length, uint64_t key = 0,
                             bool continues = false);
  // Sends (or holds) the message begun last. False without one,
  // or when holding it took the link past its held limit.
  bool Commit();
  // Sends `encoded`, a whole message shared by the links of a fan-out, with this link's
  // header (`code`, `tick`) and `handle`: copied into the link when it has room, else
  // held by reference (one payload for every handle and link that waits for it).
  bool SendShared(uint32_t tick, uint16_t code,
                  const std::shared_ptr<const std::vector<uint8_t>>& encoded, uint32_t handle,
                  uint64_t key);
  // Drops the message begun last.
  void Cancel();
  // A message begun now would go straight into the link (nothing is held, the link is
  // within its bound).
  bool HasRoom();
  // Sends the classic parts `parts` has left after the value's first parts went into
  // the link (`continues`) or none did: made as the link takes them, after everything
  // sent before. A value whose first parts are out goes on at the link's pace and is
  // not counted as held; one still waiting is held (and replaced under `key` when
  // conflating). False as Commit.
  bool SendParts(std::unique_ptr<ValueParts> parts, uint64_t key, bool continues);
  // Moves held messages into the link, oldest first, while it is within its bound
  // (making the parts of a value that goes out part by part); returns how many moved.
  uint32_t Flush(uint32_t now);
  // The link's last words follow: held messages are dropped (the reader will not get
  // to them) and the bound no longer applies, so the next message always reaches the
  // link.
  void PrepareFarewell();

  // Messages are held in the bus (the link is past its bound). Any thread.
  bool holding() const { return holding_.load(std::memory_order_relaxed); }
  // The link went past its bound and has not drained below half of it since.
  bool behind();
  // While behind: when the link began to be, or last took half its bound's worth of
  // messages; server thread.
  uint32_t last_progress();
  // Bytes of held messages that conflation cannot shrink.
  uint64_t fixed_held_bytes();
  // The link went past its held limit: what it held was dropped and it takes nothing
  // more but its last words; the server lets it go.
  bool overflowed();
  // Values replaced while held, in total and since the last call of TakeConflated.
  uint64_t conflated();
  uint64_t TakeConflated();
  // The link could not take the last message because it could not grow (a V2 segment
  // could not be created), not for want of room: what is held meanwhile is kept whole,
  // not conflated (HeldMessages::SetKeeping), within the held limit. Values kept so
  // far, since the last call of TakeKept.
  bool growth_refused() { return held_.keeping(); }
  uint64_t TakeKept();
  // Every message committed has reached the peer's side of the link.
  bool Delivered();

  SfSMFConnection& link() { return *link_; }

  // Receive bookkeeping (server thread).
  const uint32_t accepted_at;
  bool registered = false;  // set once the link registered as a client
  bool publisher = false;   // registered as a publisher
  uint32_t last_received = 0;
  uint32_t last_flushed = 0;
  bool heartbeat_sent = false;  // the link had its first heartbeat
  bool notice_created = false;
  bool notice_pending = false;
  // Conflation was reported in the log and not yet its end.
  bool conflation_logged = false;
  bool keeping_logged = false;    // the same for values kept while the link cannot grow
  uint64_t conflated_at_log = 0;  // conflated() when that was logged
  std::list<RtdConnection*>::iterator round_robin;
  // The client's liveness mutex, when it said at registration that it holds one, and
  // what the last look found; `holder_gone_at` is when it found the holder gone.
  std::unique_ptr<SfLivenessWatch> liveness;
  SfLivenessWatch::Holder holder = SfLivenessWatch::Holder::kAlive;
  uint32_t holder_gone_at = 0;
  // Wake-ups (RtdServerMultiConnection::kIdleWakesToMute): sleeps its wake-up ended
  // with nothing to do, in a row; whether it is muted, since when; and whether another
  // process cleared the bus's announcement on it, so it is always polled.
  uint32_t idle_wakes = 0;
  bool muted = false;
  uint32_t muted_at = 0;
  bool wake_untrusted = false;

 private:
  uint32_t MoveHeld(uint32_t now);
  bool WithinBound();
  // A slot of `length` in the link, cleared as a classic reader expects; null when the
  // link has no room or messages are held already.
  uint8_t* DirectSlot(uint32_t length, uint32_t now);
  // The link refused a message at `now`: keeps what follows when it could not grow.
  void NoteRefusal(uint32_t now);
  // After a message was held: past the held limit, drops everything held.
  bool CheckHeldLimit();
  void StartHolding(uint32_t tick);
  // `bytes` went into the link: progress of a reader that is behind.
  void Took(uint64_t bytes, uint32_t now);

  std::unique_ptr<SfSMFConnection> link_;
  const uint16_t id_;
  const LinkFlow flow_;
  bool building_ = false;
  bool building_held_ = false;  // the message under construction is in scratch_
  uint64_t building_key_ = 0;
  bool building_continues_ = false;
  std::vector<uint8_t> scratch_;
  HeldMessages held_;
  // The value whose parts go out as the link drains, ahead of everything held.
  std::unique_ptr<ValueParts> streaming_;
  std::atomic<bool> holding_{false};
  uint32_t last_progress_ = 0;
  uint64_t conflated_reported_ = 0;
  uint64_t kept_reported_ = 0;
  uint32_t refused_at_ = 0;  // when the link last could not grow
  bool farewell_ = false;
  bool overflowed_ = false;
  bool behind_ = false;
  uint64_t taken_ = 0;  // bytes the link took since last_progress_
  uint32_t building_tick_ = 0;
  uint32_t scratch_length_ = 0;
};

}  // namespace orvex
