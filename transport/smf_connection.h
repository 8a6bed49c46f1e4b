#pragma once
#include <cstdint>
#include <memory>

#include "transport/smf_channel.h"
#include "transport/smf_link_v2.h"

namespace orvex {

// The bus's handle of one client link, whichever kind it is: the operations the
// server needs, the same for a classic channel and a V2 link.
class SfSMFConnection {
 public:
  explicit SfSMFConnection(std::unique_ptr<SfSMFChannel> channel);
  SfSMFConnection(std::unique_ptr<SfSMFLinkV2> link, uint32_t default_message_size);
  ~SfSMFConnection();
  SfSMFConnection(const SfSMFConnection&) = delete;
  SfSMFConnection& operator=(const SfSMFConnection&) = delete;

  bool is_v2() const { return link_ != nullptr; }
  // Usable: the objects exist and the peer has not broken the shared layout.
  bool IsValid();
  // The peer broke the shared layout or shrank a shared object: the link carries
  // nothing more and should be dropped at once.
  bool IsBroken();
  bool HasIncoming();
  // The next incoming message, or null; its length is IncomingLength().
  const uint8_t* PeekIncoming();
  uint32_t IncomingLength();
  void PopIncoming();
  // A buffer for the next outgoing message: a slot-size buffer on a classic link
  // (`length` is ignored), a record of `length` bytes on a V2 link. Null when no room.
  uint8_t* BeginOutgoing(uint32_t length);
  bool CommitOutgoing();
  // Classic links have nothing to cancel: an uncommitted buffer is handed out again.
  bool CancelOutgoing();
  // V2: a message of the default size could be written now. Classic: always.
  bool CanSend();
  // Before the bus sleeps: the event that a message from the peer will set, with the
  // sleep announced to the peer; null when this link must be polled (a V2 client that
  // did not take the wake-ups, or a broken link). Look for input once more before
  // waiting, and call DisarmWait afterwards.
  // With `room`, a V2 link whose client frees room with a wake-up (WakesForRoom) also
  // wakes the bus when its reader makes room in a full link.
  platform::EventObject* ArmWait(bool room = false);
  void DisarmWait(bool room = false);
  // Between the two: the sleep is still announced to the peer. Only the bus withdraws
  // it, so false means another process cleared the word, and the peer may not wake
  // the bus when it writes.
  bool StillArmed();
  // V2: the client sets the bus's wake-up when it frees room in the bus's segments.
  bool WakesForRoom() const { return link_ != nullptr && link_->PeerFreesRoom(); }
  // V2: the peer is woken by WakePeer, once for the messages committed since, rather
  // than by every commit (see SfSMFLinkV2::DeferWake). Nothing on classic links, whose
  // pump moves messages in batches already.
  void DeferWake();
  // V2: one thread writes, without the link's writer lock (SfSMFLinkV2::SetSingleWriter).
  // Classic links take their queue's pool lock still: their pump thread shares it.
  void SetSingleWriter();
  void WakePeer();
  // Messages committed on a classic link and not yet in its ring (0 on V2).
  uint32_t BacklogCount();
  // Bytes those messages take in the bus (classic; 0 on V2, whose backlog lies in its
  // segments and is capped by SetBacklogLimit).
  uint64_t BacklogBytes();
  // Bytes written and not yet taken by the reader: the classic backlog, or the records
  // of the V2 outgoing segments still unread (not the segments' size, which stays
  // grown after a burst).
  uint64_t WaitingBytes();
  // V2: the last BeginOutgoing that failed did so because a segment could not be
  // created, not for want of room (SfSMFLinkV2::create_failed). Classic: false.
  bool GrowthRefused() const { return link_ != nullptr && link_->create_failed(); }
  // V2: caps the bytes of the link's outgoing segments (see SfSMFLinkV2). Classic: no
  // effect; the caller bounds BacklogBytes itself.
  void SetBacklogLimit(uint64_t bytes);
  // Every message committed so far has reached the peer's side: classic, it is in the
  // ring (which outlives our handles while the peer holds it); V2, the reader consumed
  // it (a segment it never opened would go with our handles).
  bool Delivered();

  // The name the link's objects derive from: the classic channel's or the V2 link's.
  const std::string& name() const { return channel_ ? channel_->name() : link_->name(); }
  SfSMFChannel* channel() { return channel_.get(); }
  SfSMFLinkV2* link() { return link_.get(); }
  uint32_t default_message_size() const { return default_size_; }

 private:
  std::unique_ptr<SfSMFChannel> channel_;
  std::unique_ptr<SfSMFLinkV2> link_;
  uint32_t default_size_ = 128;
  uint32_t incoming_length_ = 0;
};

}  // namespace orvex
