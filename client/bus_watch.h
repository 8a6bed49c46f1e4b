#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "transport/sf_mutex.h"

namespace orvex::client {

// Why a client considers its bus gone.
enum class BusLoss {
  kNone,    // as far as the client can tell, the bus is there
  kSilent,  // nothing arrived from it for longer than the silence limit
  kEnded,   // it no longer holds the ownership mutex it holds for its life
};

// A short human text for `loss` ("" for kNone).
const char* BusLossText(BusLoss loss);

// How a client decides that its bus is gone.
struct BusWatchOptions {
  // The bus sends a heartbeat every 5000 ms when nothing else goes out, so this long
  // without a message means it is gone. Keep it well above 5000 ms.
  uint32_t silence_limit_ms = 15000;
  // How often to look at the bus's ownership mutex (base + ".V2.AccMT"); a bus that was
  // killed leaves it abandoned, which is noticed long before the silence limit. 0: never.
  uint32_t ownership_poll_ms = 250;
};

// Tells whether the bus a client connected to is still there, from the time of the
// last message and the state of the bus's ownership mutex. A loss, once found, stays
// until Start or Stop. All operations are safe from any thread.
class BusWatch {
 public:
  BusWatch() = default;
  BusWatch(const BusWatch&) = delete;
  BusWatch& operator=(const BusWatch&) = delete;

  // Starts watching the bus serving `base`; the silence clock starts now. The ownership
  // mutex is watched only when someone holds it now (a bus without a V2 acceptor holds
  // none).
  void Start(const std::string& base, const BusWatchOptions& options);
  // Stops watching; loss() is kNone again.
  void Stop();
  // A message from the bus was just taken from the link.
  void Heard();
  // Looks again and answers the loss. `input_waiting`: the link holds messages not read
  // yet, which count as heard and defer any verdict until they are read.
  BusLoss Check(bool input_waiting);
  // Looks at the ownership mutex only (when due): for senders, which cannot tell
  // silence from a reader that is behind.
  BusLoss CheckOwnership();
  // How long a receiver may sleep before it must Check again: until the silence limit
  // would pass, and at most `longest_ms`. At least 1 while watching; `longest_ms` when
  // not watching.
  uint32_t CheckDueInMs(uint32_t longest_ms) const;
  BusLoss loss() const { return loss_.load(); }

 private:
  // True when the ownership mutex shows the bus gone; lock_ held.
  bool OwnerGone(uint32_t now);
  // Opens the ownership mutex and keeps it when someone holds it; lock_ held. Sets
  // open_again_ when the open failed only because the user's name lock was held.
  // True when the mutex was found abandoned: its holder ended.
  bool OpenOwnership();

  mutable std::mutex lock_;
  bool watching_ = false;
  BusWatchOptions options_;
  std::optional<SfMutex> ownership_;
  std::string ownership_name_;
  // The open at Start failed for a reason that says nothing about the bus (another
  // process held the name lock): tried again at each look instead of never watching.
  bool open_again_ = false;
  // Lock-free: every message received stores it.
  std::atomic<uint32_t> last_heard_{0};
  uint32_t last_probe_ = 0;
  std::atomic<BusLoss> loss_{BusLoss::kNone};
};

}  // namespace orvex::client
