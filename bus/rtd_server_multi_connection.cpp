#include "bus/rtd_server_multi_connection.h"

#include <algorithm>
#include <cstring>

#include "bus/bus_send.h"
#include "platform/clock.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_writer.h"
#include "threading/trace.h"

namespace orvex {
namespace {

// While a link must be polled, the loop keeps looking for this long after a busy pass,
// yielding, then sleeps 1 ms at a time until kShortSleepWindowMs, and only then falls
// back to 10 ms naps: quick answers under traffic, next to no CPU when idle.
constexpr uint32_t kYieldWindowMs = 2;
constexpr uint32_t kShortSleepWindowMs = 50;
constexpr uint32_t kIdleSleepMs = 10;
// A link past its bound whose reader cannot wake the bus when it frees room is looked
// at this often: the held messages (and, under block, every publisher) wait for it.
constexpr uint32_t kHeldPollMs = 1;
// A flood on one link must not keep the loop from accepting, heartbeats and drops.
constexpr size_t kMaxReceivesPerPass = 4096;
// Messages sent are published to their readers, and sleeping readers woken, once per
// this many messages handled (and at the end of a pass), not once per message sent: one
// system call wakes a reader for a whole batch.
constexpr size_t kReceivesPerWake = 64;

}  // namespace

RtdServerMultiConnection::RtdServerMultiConnection(const std::string& base_name,
                                                   const LinkFlow& flow, uint32_t stall_limit_ms)
    : listener_(std::make_unique<SfSMFListener>(base_name)),
      flow_(flow),
      stall_limit_ms_(stall_limit_ms),
      by_id_(size_t{1} << 16, nullptr),
      doorbell_(platform::CreateUnnamedEvent()),
      farewell_done_(platform::CreateUnnamedEvent()),
      thread_(&RtdServerMultiConnection::ThreadEntry, this) {
  start_tick_ = platform::TickCount();
  last_heartbeat_ = start_tick_;
  BusLog().Append("RtdServerMultiConnection Created");
  thread_.Start();
}

RtdServerMultiConnection::~RtdServerMultiConnection() {
  SetReady(false);
  stop_.store(true);
  Wake();
  if (!thread_.WaitFinished(3000)) thread_.ForceStop();
  CloseAll();
  // Lines of a server that never became ready: the derived part is gone, the log stays.
  for (const std::string& line : early_lines_) BusLog().Append(line);
  BusLog().Append("RtdServerMultiConnection Deleted");
  if (!thread_.WaitFinished(1000)) thread_.ForceStop();
  platform::CloseEvent(doorbell_);
  platform::CloseEvent(farewell_done_);
}

void RtdServerMultiConnection::Wake() {
  platform::SetEvent(doorbell_);
}

size_t RtdServerMultiConnection::Shutdown(bool wait, uint32_t timeout_ms) {
  stop_.store(true);
  Wake();
  if (wait && thread_.started() && !thread_.WaitFinished(timeout_ms)) thread_.ForceStop();
  return CloseAll();
}

void RtdServerMultiConnection::ThreadEntry(void* self) {
  static_cast<RtdServerMultiConnection*>(self)->Loop();
}

bool RtdServerMultiConnection::SayFarewell(const std::string& reason) {
  farewell_reason_ = reason;
  if (thread_.WaitFinished(0)) {
    // No server thread: this one is the only writer now.
    GiveFarewell();
    return true;
  }
  platform::ResetEvent(farewell_done_);
  farewell_asked_.store(true, std::memory_order_release);
  Wake();
  if (platform::WaitEvent(farewell_done_, kFarewellWaitMs) == platform::WaitResult::kSignalled) {
    return true;
  }
  // Writing beside a server thread that is stuck in the middle of a message could
  // corrupt its link: the links close without a word instead.
  Log("RtdServerMultiConnection: the server thread did not answer; links close without \"" +
      reason + "\"");
  return false;
}

void RtdServerMultiConnection::GiveFarewell() {
  for (auto& [id, c] : table_) {
    SendDisconnect(c.get(), farewell_reason_);
    c->link().WakePeer();
  }
  farewell_given_ = true;
  platform::SetEvent(farewell_done_);
}

void RtdServerMultiConnection::FarewellPass() {
  FlushAll(platform::TickCount());
  WakeReaders();
  passes_.fetch_add(1);
  platform::ResetEvent(doorbell_);
  if (!stop_.load()) platform::WaitEvent(doorbell_, kIdleSleepMs);
}

void RtdServerMultiConnection::Loop() {
  uint32_t last_busy = platform::TickCount();
  while (!stop_.load()) {
    if (farewell_asked_.exchange(false, std::memory_order_acquire)) GiveFarewell();
    if (farewell_given_) {
      FarewellPass();
      continue;
    }
    HandOverEarlyLines();
    const uint32_t now = platform::TickCount();
    LookAtLiveness(now);
    RepairAcceptors(now);
    size_t work = DropSilent(now);
    work += AcceptOne(now);
    work += Heartbeats(now);
    if (ready()) OnPeriodic();
    work += FlushAll(now);
    work += ReapLingering(now);
    work += ReceiveAll();
    WakeReaders();
    passes_.fetch_add(1);
    CountWake(work, now);
    if (work != 0) {
      last_busy = platform::TickCount();
    } else {
      IdleWait(platform::TickCount() - last_busy);
    }
  }
}

// Announces the sleep on every link and acceptor that can wake the loop, looks once
// more, then sleeps until one of them is set or the next timed duty is due.
void RtdServerMultiConnection::IdleWait(uint32_t idle_ms) {
  uint32_t limit = SleepLimitMs(platform::TickCount());
  wait_events_.clear();
  armed_.clear();
  platform::ResetEvent(doorbell_);
  wait_events_.push_back(doorbell_);
  const bool full = table_.size() >= kMaxConnections;
  if (!full) {
    listener_->ArmWait(&wait_events_);
  } else if (listener_->HasPending()) {
    // A waiting client may get the place of a link that does not register.
    limit = std::min(limit, kIdleSleepMs);
  }
  bool polled = false;
  bool flushed = false;
  const uint32_t now = platform::TickCount();
  const size_t first_link = wait_events_.size();
  for (auto& [id, c] : table_) {
    if (!c->IsUsable()) continue;
    if (c->wake_untrusted || (c->muted && now - c->muted_at < kMuteMs)) {
      polled = true;
      continue;
    }
    c->muted = false;
    // A link holding messages sleeps for room too when its reader says it frees room.
    const bool room = c->holding() && c->link().WakesForRoom();
    platform::EventObject* event = c->link().ArmWait(room);
    if (event == nullptr) {
      polled = true;
      continue;
    }
    armed_.push_back({c.get(), room});
    wait_events_.push_back(event);
    // Room freed before the announcement shows in no event: look once more.
    if (room && c->Flush(platform::TickCount()) != 0) flushed = true;
  }
  if (polled || wait_events_.size() > platform::kMaxWaitEvents) {
    const uint32_t nap = idle_ms < kYieldWindowMs        ? 0
                         : idle_ms < kShortSleepWindowMs ? 1
                                                         : kIdleSleepMs;
    limit = std::min(limit, nap);
  }
  // Another process may clear a link's announcement, and its client then wakes no one:
  // the bus looks again within kLookMs.
  if (!armed_.empty()) limit = std::min(limit, kLookMs);
  const bool waiting = stop_.load() || flushed || AnyInput() || (!full && listener_->HasPending());
  woken_by_ = 0;
  if (!waiting) {
    if (limit == 0) {
      platform::SleepMs(0);
    } else if (wait_events_.size() <= platform::kMaxWaitEvents) {
      const int woke = platform::WaitAnyEvent(wait_events_.data(), wait_events_.size(), limit);
      if (woke >= 0 && static_cast<size_t>(woke) >= first_link) {
        woken_by_ = armed_[static_cast<size_t>(woke) - first_link].first->id();
      }
    } else {
      platform::SleepMs(limit);
    }
    CheckAnnouncements();
  }
  for (auto [c, room] : armed_) c->link().DisarmWait(room);
}

void RtdServerMultiConnection::CheckAnnouncements() {
  for (auto [c, room] : armed_) {
    if (c->link().StillArmed()) continue;
    c->wake_untrusted = true;
    ServerLog(
        "Client " + std::to_string(c->id()) +
        ": another process cleared the bus's wait announcement on its link; the link is polled");
  }
}

void RtdServerMultiConnection::CountWake(size_t work, uint32_t now) {
  if (woken_by_ == 0) return;
  RtdConnection* c = FindConnection(woken_by_);
  woken_by_ = 0;
  if (c == nullptr) return;
  if (work != 0) {
    c->idle_wakes = 0;
    return;
  }
  idle_wakes_.fetch_add(1);
  if (++c->idle_wakes < kIdleWakesToMute) return;
  c->idle_wakes = 0;
  c->muted = true;
  c->muted_at = now;
}

// How long the loop may sleep before a heartbeat, a silence limit, queued blocks or
// the derived class's timed work need a pass.
uint32_t RtdServerMultiConnection::SleepLimitMs(uint32_t now) {
  uint32_t limit = kHeartbeatMs - std::min(kHeartbeatMs, now - last_heartbeat_);
  for (auto& [id, c] : table_) {
    const uint32_t quiet = now - c->last_received;
    limit = std::min(limit, quiet < kSilenceMs ? kSilenceMs - quiet : 1u);
    // Room for held messages shows in no event unless the reader sets one: look soon.
    if (c->holding() && !c->link().WakesForRoom()) limit = std::min(limit, kHeldPollMs);
    // Nor does a link that could not grow: nothing tells the bus when it can.
    if (c->holding() && c->growth_refused()) limit = std::min(limit, kIdleSleepMs);
    // A client found gone is let go a little later (kGoneSettleMs).
    if (c->holder != SfLivenessWatch::Holder::kAlive) limit = std::min(limit, kIdleSleepMs);
  }
  if (watched_ != 0) {
    limit = std::min(limit, kLivenessLookMs - std::min(kLivenessLookMs, now - last_liveness_look_));
  }
  limit = std::min(limit, kLookMs - std::min(kLookMs, now - last_repair_));
  if (lingering_count_.load() != 0) limit = std::min(limit, kIdleSleepMs);
  if (ready()) limit = std::min(limit, PeriodicDueMs());
  return limit;
}

bool RtdServerMultiConnection::AnyInput() {
  // Input of publishers held back under block is not work: waiting for it would spin.
  const bool paused = PublishersPaused();
  for (auto& [id, c] : table_) {
    if (c->notice_pending) return true;
    if (paused && c->publisher) continue;
    if (c->IsUsable() && c->link().HasIncoming()) return true;
  }
  return false;
}

void RtdServerMultiConnection::Log(const std::string& line) {
  BusLog().Append(line);
}

void RtdServerMultiConnection::ServerLog(const std::string& line) {
  if (!ready()) {
    early_lines_.push_back(line);
    return;
  }
  HandOverEarlyLines();
  Log(line);
}

void RtdServerMultiConnection::HandOverEarlyLines() {
  if (early_lines_.empty() || !ready()) return;
  std::vector<std::string> lines;
  lines.swap(early_lines_);
  for (const std::string& line : lines) Log(line);
}

void RtdServerMultiConnection::WatchLiveness(RtdConnection* c) {
  auto watch = std::make_unique<SfLivenessWatch>();
  if (!watch->Open(LivenessMutexName(c->link().name(), c->is_v2()))) {
    ServerLog("Client " + std::to_string(c->id()) + " holds no liveness mutex: silence decides");
    return;
  }
  if (c->liveness == nullptr) ++watched_;
  c->liveness = std::move(watch);
}

void RtdServerMultiConnection::LookAtLiveness(uint32_t now) {
  // A sleep may end a few ms before its deadline: looking then saves a pass.
  constexpr uint32_t kEarlyMs = 5;
  if (watched_ == 0 || now - last_liveness_look_ + kEarlyMs < kLivenessLookMs) return;
  last_liveness_look_ = now;
  watched_ = 0;
  for (auto& [id, c] : table_) {
    if (c->liveness == nullptr) continue;
    ++watched_;
    if (c->holder != SfLivenessWatch::Holder::kAlive) continue;
    c->holder = c->liveness->Look();
    if (c->holder != SfLivenessWatch::Holder::kAlive) c->holder_gone_at = now;
  }
}

void RtdServerMultiConnection::RepairAcceptors(uint32_t now) {
  // Any pass in the last fifth of the period will do: the liveness looks then bring no
  // pass of their own for it.
  if (now - last_repair_ < kLookMs - kLookMs / 5) return;
  last_repair_ = now;
  listener_->Repair();
}

size_t RtdServerMultiConnection::DropSilent(uint32_t now) {
  std::vector<std::pair<uint16_t, std::string>> drops;
  for (auto& [id, c] : table_) {
    // The client is gone: what it sent is read first (a publisher's last values), within
    // limits, then nobody is left to tell.
    if (c->holder != SfLivenessWatch::Holder::kAlive && now - c->holder_gone_at >= kGoneSettleMs &&
        (!c->IsUsable() || !c->link().HasIncoming() || now - c->holder_gone_at > kGoneReadMs)) {
      drops.emplace_back(id, c->holder == SfLivenessWatch::Holder::kEnded
                                 ? "Client process ended"
                                 : "Client closed the link");
      continue;
    }
    // Broken by the peer (its shared layout or objects): nothing more can be delivered,
    // not even a reason, so waiting for silence would only hold a place.
    if (c->link().IsBroken()) {
      drops.emplace_back(id, "Connection dropped");
    } else if (now - c->last_received > kSilenceMs - 1 &&
               (!c->IsUsable() || (c->notice_created && !c->notice_pending))) {
      drops.emplace_back(id, "Inactive connection");
    } else if (c->fixed_held_bytes() > flow_.backlog_bytes) {
      // Conflation cannot shrink these (topic and client notices, requests...).
      drops.emplace_back(id, "Reader too far behind: more than " +
                                 std::to_string(flow_.backlog_bytes) + " bytes waiting");
    } else if (c->overflowed()) {
      // Conflated values too: one per handle, and a reader may hold many handles.
      drops.emplace_back(id, "Reader too far behind: more than " +
                                 std::to_string(flow_.held_limit()) + " bytes held");
    } else if (flow_.policy == SlowPolicy::kBlock && c->behind() &&
               static_cast<int32_t>(now - c->last_progress()) >
                   static_cast<int32_t>(stall_limit_ms_)) {
      drops.emplace_back(id, "Reader stalled: behind for " + std::to_string(stall_limit_ms_) +
                                 " ms while publishers waited");
    }
  }
  for (const auto& [id, reason] : drops) {
    if (RtdConnection* c = FindConnection(id)) DropWithReason(c, reason);
  }
  return drops.size();
}

void RtdServerMultiConnection::DropWithReason(RtdConnection* c, const std::string& reason) {
  const uint16_t id = c->id();
  // The reason is logged here as well: "Client disconnected" lines carry none.
  ServerLog("Client " + std::to_string(id) + " dropped: " + reason);
  if (c->registered && ready()) {
    // The server handles it like the client's own disconnect: the reason goes to the
    // link and to monitors, the client's topics are closed.
    PassDisconnect(id, reason, platform::TickCount());
    if (FindConnection(id) == nullptr) return;
    c = FindConnection(id);
  }
  SendDisconnect(c, reason);
  RemoveConnection(id);
  PassInternal(id, MSG_DROPPED);
}

void RtdServerMultiConnection::PassDisconnect(uint16_t id, const std::string& reason,
                                              uint32_t now) {
  receive_buffer_.assign(kClassicSlotSize, 0);
  WriteMessageHeader(receive_buffer_, MessageHeader{id, MSG_DISCONNECT, now});
  WriteDisconnect(receive_buffer_, reason);
  ProcessMessage(BusMessage{id, MSG_DISCONNECT, receive_buffer_});
}

void RtdServerMultiConnection::StopAccepting() {
  SfScopedLock hold(&table_lock_);
  accepting_ = false;
}

size_t RtdServerMultiConnection::MakeRoom(uint32_t now) {
  {
    SfScopedLock hold(&table_lock_);
    if (!accepting_) return 0;
  }
  if (!listener_->HasPending()) return 0;
  RtdConnection* oldest = nullptr;
  for (auto& [id, c] : table_) {
    if (c->registered || now - c->accepted_at < kRegisterGraceMs) continue;
    if (oldest == nullptr || now - c->accepted_at > now - oldest->accepted_at) oldest = c.get();
  }
  if (oldest == nullptr) return 0;
  const uint16_t id = oldest->id();
  SendDisconnect(oldest, "Inactive connection");
  RemoveConnection(id);
  PassInternal(id, MSG_DROPPED);
  return 1;
}

size_t RtdServerMultiConnection::AcceptOne(uint32_t now) {
  size_t work = 0;
  if (table_.size() >= kMaxConnections) {
    work = MakeRoom(now);
    if (work == 0) return 0;
  }
  uint16_t id = 0;
  {
    // The lock spans the accept and the insertion: a link is either in the table before
    // StopAccepting returns or never taken from the listener.
    SfScopedLock hold(&table_lock_);
    if (!accepting_) return work;
    std::unique_ptr<SfSMFConnection> link = listener_->AcceptNext();
    if (link == nullptr) return work;
    link->DeferWake();
    link->SetSingleWriter();  // the server thread is the only writer of every link
    id = AllocateId();
    auto connection = std::make_unique<RtdConnection>(std::move(link), id, now, flow_);
    connection->round_robin = round_robin_.insert(round_robin_.end(), connection.get());
    by_id_[id] = connection.get();
    table_.emplace(id, std::move(connection));
    connection_count_.store(table_.size());
  }
  PassInternal(id, MSG_ACCEPTED);
  return work + 1;
}

void RtdServerMultiConnection::WakeReaders() {
  for (auto& [id, c] : table_) c->link().WakePeer();
}

uint16_t RtdServerMultiConnection::AllocateId() {
  for (;;) {
    uint16_t candidate = next_id_++;
    if (wrapped_) {
      while (table_.count(candidate) != 0) candidate = next_id_++;
    } else if (candidate == 0xFFFF) {
      wrapped_ = true;
    }
    if (candidate != 0) return candidate;
  }
}

size_t RtdServerMultiConnection::Heartbeats(uint32_t now) {
  if (now - last_heartbeat_ < kHeartbeatMs) return 0;
  last_heartbeat_ = now;
  size_t sent = 0;
  for (auto& [id, c] : table_) {
    // A link's first heartbeat comes at the first beat after its acceptance, however
    // busy it was: a client that counts missed beats must not wait two intervals.
    if (!c->heartbeat_sent || now - c->last_flushed > kHeartbeatMs - 1 ||
        now - c->last_received > kHeartbeatMs - 1) {
      c->heartbeat_sent = true;
      sent += SendFixed(
          c.get(), MSG_HEARTBEAT, 12,
          [&](MessageBuffer out) { return WriteHeartbeat(out, start_tick_); },
          ConflationKey(MSG_HEARTBEAT, 0));
    }
  }
  return sent;
}

size_t RtdServerMultiConnection::FlushAll(uint32_t now) {
  size_t moved = 0;
  for (auto& [id, c] : table_) {
    if (c->IsUsable()) moved += c->Flush(now);
    const uint64_t fresh = c->TakeConflated();
    conflated_total_.fetch_add(fresh);
    // One line when a reader starts to lose values to conflation, one when it caught up.
    if (fresh != 0 && !c->conflation_logged) {
      c->conflation_logged = true;
      c->conflated_at_log = c->conflated() - fresh;
      ServerLog("Client " + std::to_string(id) + " falls behind: its values are conflated");
    } else if (c->conflation_logged && !c->holding()) {
      c->conflation_logged = false;
      ServerLog("Client " + std::to_string(id) + " caught up: " +
                std::to_string(c->conflated() - c->conflated_at_log) + " values conflated");
    }
    const uint64_t kept = c->TakeKept();
    kept_total_.fetch_add(kept);
    if (kept != 0 && !c->keeping_logged) {
      c->keeping_logged = true;
      ServerLog("Client " + std::to_string(id) +
                ": its link cannot grow for now: its values are kept, not conflated");
    } else if (c->keeping_logged && !c->holding()) {
      c->keeping_logged = false;
    }
  }
  return moved;
}

size_t RtdServerMultiConnection::ReapLingering(uint32_t now) {
  size_t work = 0;
  std::list<Lingering> done;
  {
    SfScopedLock hold(&table_lock_);
    for (auto it = lingering_.begin(); it != lingering_.end();) {
      RtdConnection& c = *it->connection;
      if (c.IsUsable()) work += c.Flush(now);
      c.link().WakePeer();  // its last words are published and its reader woken
      // Signed: `since` may be a tick later than the pass's `now`.
      const bool expired = static_cast<int32_t>(now - it->since) > static_cast<int32_t>(kLingerMs);
      if (!c.IsUsable() || c.Delivered() || expired) {
        auto next = std::next(it);
        done.splice(done.end(), lingering_, it);
        it = next;
      } else {
        ++it;
      }
    }
    lingering_count_.store(lingering_.size());
  }
  return work + done.size();  // freed here, outside the lock
}

bool RtdServerMultiConnection::PublishersPaused() {
  if (flow_.policy != SlowPolicy::kBlock) return false;
  for (auto& [id, c] : table_) {
    if (c->holding()) return true;
  }
  return false;
}

size_t RtdServerMultiConnection::ReceiveAll() {
  if (!ready()) return 0;
  size_t received = 0;
  // Read once a batch: a clock read per message costs more than the message.
  uint32_t now = platform::TickCount();
  while (received < kMaxReceivesPerPass && !stop_.load() && ReceiveOne(now)) {
    // The first message of a pass reaches its readers at once (quiet traffic waits for
    // nothing); later ones are published and woken in batches.
    if (++received % kReceivesPerWake == 1) {
      WakeReaders();
      now = platform::TickCount();
    }
  }
  return received;
}

bool RtdServerMultiConnection::ReceiveOne(uint32_t now) {
  const bool paused = PublishersPaused();
  for (size_t n = round_robin_.size(); n > 0; --n) {
    RtdConnection* c = round_robin_.front();
    round_robin_.splice(round_robin_.end(), round_robin_, round_robin_.begin());
    if (!c->IsUsable()) continue;
    const uint16_t id = c->id();
    SfSMFConnection& link = c->link();
    if (paused && c->publisher) {
      // Held back, not silent: its waiting input shows it is alive.
      if (link.HasIncoming()) c->last_received = now;
      continue;
    }
    if (link.HasIncoming()) {
      c->notice_pending = false;
      const uint8_t* incoming = link.PeekIncoming();
      if (incoming == nullptr) continue;
      // Work on a private copy: the peer can rewrite its slot while we read it.
      const uint32_t length = link.IncomingLength();
      receive_buffer_.assign(incoming, incoming + length);
      link.PopIncoming();
      c->last_received = now;
      MessageHeader header;
      if (!ReadMessageHeader(receive_buffer_, &header)) return true;
      StampConnectionId(receive_buffer_, id);
      ProcessMessage(BusMessage{id, header.code, receive_buffer_});
      return true;
    }
    if (!c->notice_pending && !c->notice_created && now - c->last_received >= kSilenceMs) {
      c->notice_created = true;
      c->notice_pending = true;
    }
    if (c->notice_pending) {
      c->notice_pending = false;
      PassDisconnect(id, "Inactive connection", now);
      return true;
    }
  }
  return false;
}

void RtdServerMultiConnection::PassInternal(uint16_t id, uint16_t code) {
  if (!ready()) return;
  uint8_t bytes[kMessageHeaderSize] = {};
  WriteMessageHeader(bytes, MessageHeader{id, code, platform::TickCount()});
  ProcessMessage(BusMessage{id, code, bytes});
}

RtdConnection* RtdServerMultiConnection::FindConnection(uint16_t id) {
  return by_id_[id];
}

void RtdServerMultiConnection::RemoveConnection(uint16_t id) {
  std::unique_ptr<RtdConnection> gone;
  {
    SfScopedLock hold(&table_lock_);
    auto it = table_.find(id);
    if (it == table_.end()) return;
    gone = std::move(it->second);
    round_robin_.erase(gone->round_robin);
    by_id_[id] = nullptr;
    table_.erase(it);
    connection_count_.store(table_.size());
    // A reader that is behind finds its last messages (the reason it was let go) when
    // it gets to them: the link stays open until then, within limits.
    gone->link().WakePeer();
    // A client whose process is gone takes nothing more.
    const bool reader_left = gone->holder != SfLivenessWatch::Holder::kAlive;
    if (gone->liveness != nullptr && watched_ != 0) --watched_;
    if (!stop_.load() && !reader_left && gone->IsUsable() && !gone->Delivered()) {
      lingering_.push_back(Lingering{platform::TickCount(), std::move(gone)});
      if (lingering_.size() > kMaxConnections) lingering_.pop_front();
      lingering_count_.store(lingering_.size());
    }
  }
  // Otherwise the destructor writes out what it can and releases the link.
}

size_t RtdServerMultiConnection::CloseAll() {
  std::map<uint16_t, std::unique_ptr<RtdConnection>> closing;
  std::list<Lingering> lingering;
  {
    SfScopedLock hold(&table_lock_);
    closing.swap(table_);
    for (const auto& [id, c] : closing) by_id_[id] = nullptr;
    lingering.swap(lingering_);
    round_robin_.clear();
    connection_count_.store(0);
    lingering_count_.store(0);
  }
  return closing.size();
}

}  // namespace orvex
