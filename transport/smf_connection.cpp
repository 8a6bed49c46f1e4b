#include "transport/smf_connection.h"

namespace orvex {

SfSMFConnection::SfSMFConnection(std::unique_ptr<SfSMFChannel> channel)
    : channel_(std::move(channel)), default_size_(channel_->slot_size()) {}

SfSMFConnection::SfSMFConnection(std::unique_ptr<SfSMFLinkV2> link, uint32_t default_message_size)
    : link_(std::move(link)), default_size_(default_message_size) {}

SfSMFConnection::~SfSMFConnection() {
  channel_.reset();  // stops the pump
  link_.reset();
}

bool SfSMFConnection::IsValid() {
  if (channel_) return channel_->IsValid() && !channel_->broken();
  return link_ != nullptr && link_->IsValid();
}

bool SfSMFConnection::IsBroken() {
  if (channel_) return channel_->broken();
  return link_ != nullptr && link_->IsBroken();
}

bool SfSMFConnection::HasIncoming() {
  if (channel_) return channel_->HasData();
  return link_->Ready();
}

const uint8_t* SfSMFConnection::PeekIncoming() {
  if (channel_) {
    if (!channel_->WaitData(0)) return nullptr;
    incoming_length_ = channel_->slot_size();
    return channel_->Peek();
  }
  if (!link_->WaitReady(0)) return nullptr;
  return link_->Peek(&incoming_length_);
}

uint32_t SfSMFConnection::IncomingLength() {
  return incoming_length_;
}

void SfSMFConnection::PopIncoming() {
  if (channel_) {
    channel_->Pop();
  } else {
    link_->Pop();
  }
}

uint8_t* SfSMFConnection::BeginOutgoing(uint32_t length) {
  if (channel_) return channel_->BeginMessage();
  return link_->BeginWrite(length);
}

bool SfSMFConnection::CommitOutgoing() {
  if (channel_) return channel_->CommitMessage();
  return link_->Commit();
}

bool SfSMFConnection::CancelOutgoing() {
  return channel_ ? false : link_->Cancel();
}

bool SfSMFConnection::CanSend() {
  return channel_ ? true : link_->CanWrite(default_size_);
}

namespace {
uint32_t WakeReasons(bool room) {
  return smf_wake::kWaitRecords | (room ? smf_wake::kWaitRoom : 0);
}
}  // namespace

platform::EventObject* SfSMFConnection::ArmWait(bool room) {
  if (channel_) return channel_->incoming().ArmWait();
  return link_->ArmWake(WakeReasons(room));
}

void SfSMFConnection::DisarmWait(bool room) {
  if (channel_) {
    channel_->incoming().DisarmWait();
  } else {
    link_->DisarmWake(WakeReasons(room));
  }
}

bool SfSMFConnection::StillArmed() {
  return channel_ ? channel_->incoming().StillArmed() : link_->WakeStillArmed();
}

void SfSMFConnection::SetSingleWriter() {
  if (link_) link_->SetSingleWriter();
}

void SfSMFConnection::DeferWake() {
  if (link_) link_->DeferWake(true);
}

void SfSMFConnection::WakePeer() {
  if (link_) link_->WakePeer();
}

uint32_t SfSMFConnection::BacklogCount() {
  return channel_ ? channel_->queue().pending_count() : 0;
}

uint64_t SfSMFConnection::BacklogBytes() {
  return channel_ ? uint64_t{channel_->queue().pending_count()} * channel_->slot_size() : 0;
}

uint64_t SfSMFConnection::WaitingBytes() {
  return channel_ ? BacklogBytes() : link_->UnreadBytes();
}

void SfSMFConnection::SetBacklogLimit(uint64_t bytes) {
  if (link_) link_->SetSegmentLimit(bytes);
}

bool SfSMFConnection::Delivered() {
  return channel_ ? channel_->queue().pending_count() == 0 : link_->UnreadCount() == 0;
}

}  // namespace orvex
