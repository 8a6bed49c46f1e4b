#include "transport/smf_listener.h"

#include "threading/trace.h"

namespace orvex {

SfSMFListener::SfSMFListener(const std::string& base) : base_(base) {
  const std::string line = "ShMem Acceptor Name is " + base;
  TraceDbg().Append(line);
  classic_ = std::make_unique<SfSMFAcceptor>(base, true);
  if (!classic_->IsValid()) classic_.reset();
  v2_ = std::make_unique<SfSMFAcceptorV2>();
  v2_->Construct(base + ".V2");
  if (!v2_->OwnsName() || !v2_->IsValid()) v2_.reset();
}

SfSMFListener::~SfSMFListener() {
  classic_.reset();
  v2_.reset();
}

std::unique_ptr<SfSMFConnection> SfSMFListener::AcceptNext() {
  if (classic_ == nullptr || !classic_->IsValid()) return nullptr;
  for (const bool v2 : {v2_first_, !v2_first_}) {
    std::unique_ptr<SfSMFConnection> made;
    if (!v2 && classic_->HasRequest()) {
      if (auto channel = classic_->Accept(kDefaultSlotSize, kDefaultSlotCount)) {
        made = std::make_unique<SfSMFConnection>(std::move(channel));
      }
    } else if (v2 && v2_ != nullptr && v2_->HasRequest()) {
      if (auto link = v2_->Accept()) {
        made = std::make_unique<SfSMFConnection>(std::move(link), kDefaultSlotSize);
      }
    }
    if (made != nullptr) {
      v2_first_ = !v2;
      return made;
    }
  }
  return nullptr;
}

bool SfSMFListener::HasPending() {
  if (classic_ == nullptr || !classic_->IsValid()) return false;
  const bool classic = classic_->HasRequest();
  const bool v2 = v2_ != nullptr && v2_->HasRequest();
  return classic || v2;
}

void SfSMFListener::Repair() {
  if (v2_ != nullptr) v2_->Repair();
}

void SfSMFListener::ArmWait(std::vector<platform::EventObject*>* events) {
  if (classic_ == nullptr || !classic_->IsValid()) return;
  events->push_back(classic_->request_event());
  if (v2_ != nullptr) {
    if (platform::EventObject* event = v2_->ArmWait()) events->push_back(event);
  }
}

}  // namespace orvex
