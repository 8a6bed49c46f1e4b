#include "client/bus_watch.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/named_mapping.h"

namespace orvex::client {

const char* BusLossText(BusLoss loss) {
  switch (loss) {
    case BusLoss::kSilent:
      return "no message from it within the silence limit";
    case BusLoss::kEnded:
      return "its process ended without closing the link";
    default:
      return "";
  }
}

void BusWatch::Start(const std::string& base, const BusWatchOptions& options) {
  std::lock_guard<std::mutex> hold(lock_);
  options_ = options;
  ownership_.reset();
  ownership_name_ = base + ".V2.AccMT";
  open_again_ = false;
  loss_ = BusLoss::kNone;
  watching_ = true;
  last_probe_ = platform::TickCount();
  last_heard_ = last_probe_;
  if (options.ownership_poll_ms == 0) return;
  // Found free (even abandoned, by an earlier bus of the name): nothing to watch.
  OpenOwnership();
}

bool BusWatch::OpenOwnership() {
  ownership_.emplace();
  if (!ownership_->Open(ownership_name_, false)) {
    // A loaded machine can keep the name lock from us for a moment; missing that once
    // must not leave the link watched by its silence alone.
    open_again_ = platform::NameLockWasHeld();
    ownership_.reset();
    return false;
  }
  open_again_ = false;
  // Taking it at once means nobody holds it: nothing to watch. Release at once, so a
  // bus starting now is not kept waiting.
  if (!ownership_->Acquire(0)) return false;
  const bool abandoned = ownership_->was_abandoned();
  ownership_.reset();
  return abandoned;
}

void BusWatch::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  watching_ = false;
  ownership_.reset();
  open_again_ = false;
  loss_ = BusLoss::kNone;
}

void BusWatch::Heard() {
  last_heard_.store(platform::TickCount(), std::memory_order_relaxed);
}

bool BusWatch::OwnerGone(uint32_t now) {
  if ((!ownership_ && !open_again_) || now - last_probe_ < options_.ownership_poll_ms) {
    return false;
  }
  last_probe_ = now;
  // Opened late: held now, it is watched from here on; abandoned, the bus ended
  // meanwhile; released normally, another client's look may have taken it over, or
  // nobody held it: the silence limit decides then.
  if (!ownership_) return OpenOwnership();
  // The bus holds the mutex until it ends. Getting it, abandoned by a killed bus or
  // released by one that closed (or already taken over by another client's look),
  // means the bus is gone. Released at once so the next bus can take it.
  if (!ownership_->Acquire(0)) return false;
  ownership_->Close();
  ownership_.reset();
  return true;
}

BusLoss BusWatch::Check(bool input_waiting) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!watching_ || loss_ != BusLoss::kNone) return loss_;
  const uint32_t now = platform::TickCount();
  if (input_waiting) {
    last_heard_ = now;
    return BusLoss::kNone;
  }
  // A message stored after `now` was read makes the difference wrap: not silent.
  const uint32_t silent = now - last_heard_.load(std::memory_order_relaxed);
  if (silent >= options_.silence_limit_ms && silent < 0x80000000u) {
    loss_ = BusLoss::kSilent;
  } else if (OwnerGone(now)) {
    loss_ = BusLoss::kEnded;
  }
  return loss_;
}

uint32_t BusWatch::CheckDueInMs(uint32_t longest_ms) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (!watching_ || loss_ != BusLoss::kNone) return longest_ms;
  const uint32_t silent = platform::TickCount() - last_heard_.load(std::memory_order_relaxed);
  // A message stored after the tick was read wraps the difference: a full silence left.
  if (silent >= 0x80000000u) return std::min(longest_ms, options_.silence_limit_ms);
  if (silent >= options_.silence_limit_ms) return 1;
  return std::max(1u, std::min(longest_ms, options_.silence_limit_ms - silent));
}

BusLoss BusWatch::CheckOwnership() {
  std::lock_guard<std::mutex> hold(lock_);
  if (watching_ && loss_ == BusLoss::kNone && OwnerGone(platform::TickCount())) {
    loss_ = BusLoss::kEnded;
  }
  return loss_;
}

}  // namespace orvex::client
