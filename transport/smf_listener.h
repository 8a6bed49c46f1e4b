#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/smf_acceptor.h"
#include "transport/smf_acceptor_v2.h"
#include "transport/smf_connection.h"

namespace orvex {

// The bus's two doors: the classic acceptor `base` and the V2 acceptor base + ".V2".
// Without a working classic acceptor nothing is accepted; without the V2 acceptor
// (another bus owns the name) only classic links are.
class SfSMFListener {
 public:
  static constexpr uint32_t kDefaultSlotSize = 128;
  static constexpr uint32_t kDefaultSlotCount = 1000;

  // Traces "ShMem Acceptor Name is " + base, then builds both acceptors.
  explicit SfSMFListener(const std::string& base);
  ~SfSMFListener();
  SfSMFListener(const SfSMFListener&) = delete;
  SfSMFListener& operator=(const SfSMFListener&) = delete;

  // Whether the classic acceptor works (the listener's construction result).
  bool IsValid() const { return classic_ != nullptr; }
  bool serves_v2() const { return v2_ != nullptr; }
  // At most one new connection per call. With requests at both acceptors they take
  // turns: the kind not served last goes first, so a stream of clients of one kind
  // cannot keep the other kind out (a full bus serves one a pass).
  std::unique_ptr<SfSMFConnection> AcceptNext();
  // True when a client waits on either acceptor (nothing is taken).
  bool HasPending();
  // Puts back the V2 header's bus-owned words (SfSMFAcceptorV2::Repair); the bus calls
  // it with its heartbeats.
  void Repair();

  // Before the server sleeps: appends the events a new client sets (the classic request
  // event, the V2 wake-up event when there is one) to *events. Look for requests once
  // more (HasPending) before waiting.
  void ArmWait(std::vector<platform::EventObject*>* events);
  const std::string& base() const { return base_; }

 private:
  std::string base_;
  std::unique_ptr<SfSMFAcceptor> classic_;
  std::unique_ptr<SfSMFAcceptorV2> v2_;
  bool v2_first_ = false;  // the last connection made was a classic one
};

}  // namespace orvex
