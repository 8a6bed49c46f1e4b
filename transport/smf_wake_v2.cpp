#include "transport/smf_wake_v2.h"

#include "transport/named_event.h"
#include "transport/smf_segments.h"

namespace orvex {

namespace wake = smf_wake;

bool SfSMFWakeV2::Create(const std::string& link) {
  Close();
  side_ = 0;
  if (link.empty() || !block_.OpenOrCreate(true, link + ".W", wake::kSize)) return false;
  own_ = MakeNamedEvent(link + ".WS", false);
  peer_ = MakeNamedEvent(link + ".WC", false);
  if (own_ == nullptr || peer_ == nullptr) {
    Close();
    return false;
  }
  uint8_t* b = block_.view();
  shm::Store(b, wake::kBusWaiting, 0);
  shm::Store(b, wake::kClientWaiting, 0);
  shm::Store(b, wake::kClientAttached, 0);
  shm::Store(b, wake::kVersion, wake::kCurrentVersion);
  return true;
}

bool SfSMFWakeV2::Open(const std::string& link) {
  Close();
  side_ = 1;
  if (link.empty() || !NameExists(link + ".W") ||
      !block_.OpenOrCreate(false, link + ".W", wake::kSize) ||
      shm::Load(block_.view(), wake::kVersion) != wake::kCurrentVersion) {
    Close();
    return false;
  }
  own_ = MakeNamedEvent(link + ".WC", true);
  peer_ = MakeNamedEvent(link + ".WS", true);
  if (own_ == nullptr || peer_ == nullptr) {
    Close();
    return false;
  }
  shm::Store(block_.view(), wake::kClientAttached, wake::kAttachedRecords | wake::kAttachedRoom);
  return true;
}

void SfSMFWakeV2::Close() {
  platform::CloseEvent(own_);
  platform::CloseEvent(peer_);
  own_ = peer_ = nullptr;
  block_.Close();
}

uint32_t SfSMFWakeV2::PeerFlag() {
  // A read-modify-write that changes nothing, against Arm's: the two are ordered on the
  // flag word, so either this reads the peer's announcement or the peer's Arm reads
  // after this and then sees everything stored here before (a record, freed room).
  return shm::Word(block_.view(), peer_flag()).fetch_or(0, std::memory_order_seq_cst);
}

void SfSMFWakeV2::NotifyPeer() {
  if (peer_ == nullptr) return;
  if (PeerFlag() != 0) platform::SetEvent(peer_);
}

void SfSMFWakeV2::NotifyPeerRoom() {
  if (peer_ == nullptr) return;
  if ((PeerFlag() & wake::kWaitRoom) != 0) platform::SetEvent(peer_);
}

platform::EventObject* SfSMFWakeV2::Arm(uint32_t reason) {
  if (own_ == nullptr) return nullptr;
  platform::ResetEvent(own_);
  // Pairs with PeerFlag. Every change of this word is a read-modify-write (Disarm too),
  // so what the peer stored before its PeerFlag is visible to the caller's next look.
  shm::Word(block_.view(), own_flag()).fetch_or(reason, std::memory_order_seq_cst);
  return own_;
}

void SfSMFWakeV2::Disarm(uint32_t reason) {
  if (own_ != nullptr) {
    shm::Word(block_.view(), own_flag()).fetch_and(~reason, std::memory_order_release);
  }
}

bool SfSMFWakeV2::StillArmed(uint32_t reason) const {
  return own_ != nullptr && (shm::Load(block_.view(), own_flag()) & reason) == reason;
}

void SfSMFWakeV2::WakeSelf() {
  if (own_ != nullptr) platform::SetEvent(own_);
}

bool SfSMFWakeV2::peer_attached() const {
  return own_ != nullptr && side_ == 0 && shm::Load(block_.view(), wake::kClientAttached) != 0;
}

bool SfSMFWakeV2::peer_frees_room() const {
  return peer_attached() &&
         (shm::Load(block_.view(), wake::kClientAttached) & wake::kAttachedRoom) != 0;
}

}  // namespace orvex
