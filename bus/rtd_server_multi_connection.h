#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bus/rtd_connection.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "threading/critical_section.h"
#include "threading/sf_thread.h"
#include "transport/smf_listener.h"

namespace orvex {

// One message handed to the server: received from a link (a private copy, its header
// id already replaced by the link's id) or made by the bus itself (MSG_ACCEPTED,
// MSG_DROPPED, the inactive notice).
struct BusMessage {
  uint16_t id = 0;
  uint16_t code = 0;
  std::span<const uint8_t> bytes;
};

// The connection table and the server thread: accepts links (at most 30 at a time),
// gives each a 16-bit id, sends heartbeats, drops silent, stalled and broken links
// (telling each why where the link still works) and hands every message to
// ProcessMessage, fairly across links. Links past their bound are served by the
// slow-reader policy (LinkFlow). Between busy passes the thread sleeps in the kernel
// until a link, an acceptor, Wake or the next timed duty (a heartbeat, a silence limit,
// PeriodicDueMs) needs it, or a reader frees room in a link past its bound; only links
// that cannot wake it are polled: V2 clients without the wake-ups at most every 10 ms,
// links past their bound whose reader does not wake the bus for room every 1 ms. The thread starts
// in the constructor; no message reaches ProcessMessage or OnPeriodic before the derived class
// calls SetReady(true).
class RtdServerMultiConnection {
 public:
  static constexpr size_t kMaxConnections = 30;
  static constexpr uint32_t kHeartbeatMs = 5000;
  static constexpr uint32_t kSilenceMs = 15000;
  // While the table is full and a client waits, a link that has not registered this
  // long after its acceptance gives its place up: links that never register must not
  // lock clients out for the whole silence time.
  static constexpr uint32_t kRegisterGraceMs = 1000;
  // A link the bus let go stays open this long at most for its reader to take the
  // messages that were still on their way (its disconnect reason above all).
  static constexpr uint32_t kLingerMs = 15000;
  static constexpr uint32_t kDefaultStallLimitMs = 10000;
  // How often the liveness mutexes of clients that hold one are looked at: a killed
  // client is let go this long after its death at most, not after kSilenceMs.
  static constexpr uint32_t kLivenessLookMs = 500;
  // A client found gone still has what it sent read first, but no longer than this.
  static constexpr uint32_t kGoneReadMs = 1000;
  // Nor sooner than this: a killed process lets go of its files one after another, and
  // the link's objects are removed only once the bus is their last holder.
  static constexpr uint32_t kGoneSettleMs = 50;
  // What a peer may scribble on in the objects the bus sleeps by (an acceptor's header,
  // a link's "bus waiting" word) is looked at, and repaired, at least this often, so
  // nobody waits for a heartbeat for it.
  static constexpr uint32_t kLookMs = 1000;
  // A link whose wake-up ends this many sleeps in a row with nothing to do (its client
  // sets it in a loop) is not slept on for kMuteMs: it is polled, which costs at most
  // a pass every 10 ms, instead of a pass per set.
  static constexpr uint32_t kIdleWakesToMute = 4;
  static constexpr uint32_t kMuteMs = 100;

  // Builds the listener on `base_name` and starts the server thread; logs
  // "RtdServerMultiConnection Created". `flow`: every link's bound and the slow-reader
  // policy; `stall_limit_ms`: under SlowPolicy::kBlock, how long a link past its bound
  // may take nothing before it is dropped.
  RtdServerMultiConnection(const std::string& base_name, const LinkFlow& flow,
                           uint32_t stall_limit_ms);
  // Stops the thread if needed, closes every connection, logs
  // "RtdServerMultiConnection Deleted".
  virtual ~RtdServerMultiConnection();
  RtdServerMultiConnection(const RtdServerMultiConnection&) = delete;
  RtdServerMultiConnection& operator=(const RtdServerMultiConnection&) = delete;

  // Sets the stop flag; with `wait`, waits up to `timeout_ms` for the thread (then ends
  // it by force); then closes every connection. Returns how many were closed. Main
  // thread.
  virtual size_t Shutdown(bool wait, uint32_t timeout_ms);

  // Whether the classic acceptor works (else nothing is ever accepted).
  bool listening() const { return listener_->IsValid(); }
  // The tick taken when the server was built; every heartbeat carries it.
  uint32_t server_start_tick() const { return start_tick_; }
  // Links in the table; any thread (a snapshot).
  size_t connection_count() const { return connection_count_.load(); }
  // Sleeps of the loop that a link's wake-up ended with nothing to do for the pass
  // that followed, since the start; any thread.
  uint64_t idle_wakes() const { return idle_wakes_.load(); }
  // Values replaced for readers that fell behind, since the start; any thread.
  uint64_t conflated_total() const { return conflated_total_.load(); }
  // Values kept whole (not conflated) for links that could not grow, since the start;
  // any thread.
  uint64_t kept_total() const { return kept_total_.load(); }
  // Links let go that still wait for their reader; any thread.
  size_t lingering_count() const { return lingering_count_.load(); }
  // Passes of the loop so far; any thread. Tests wait for a pass to be sure the loop
  // has seen a change.
  uint64_t pass_count() const { return passes_.load(); }
  // Wakes the loop for one pass now (it sleeps while nothing happens). Any thread.
  void Wake();
  // The next connection id handed out will be `next` (or the next free one after it);
  // for tests of the wrap. Any thread.
  void SetNextConnectionIdForTesting(uint16_t next) { next_id_.store(next); }

 protected:
  // Called on the server thread for every message once the server is ready.
  virtual void ProcessMessage(const BusMessage& message) = 0;
  // Called once per loop pass once the server is ready.
  virtual void OnPeriodic() = 0;
  // How soon OnPeriodic has timed work to do, in ms (kInfinite: none); the idle loop
  // sleeps no longer. Server thread.
  virtual uint32_t PeriodicDueMs() { return platform::kInfinite; }
  // Writes one line to the bus log. The server thread calls it only once the server is
  // ready (ServerLog).
  virtual void Log(const std::string& line);

  // Becoming ready wakes the loop: messages that came meanwhile are handled at once.
  void SetReady(bool ready) {
    ready_.store(ready, std::memory_order_release);
    if (ready) Wake();
  }
  bool ready() const { return ready_.load(std::memory_order_acquire); }
  // Server thread (or after the thread stopped).
  RtdConnection* FindConnection(uint16_t id);
  // Removes the connection from the table; it is freed once its reader took what is
  // on its way (at most kLingerMs later).
  void RemoveConnection(uint16_t id);
  // Main thread: has the server thread give every link `reason` as its last words and
  // wake its reader; the server thread stays the only writer of every link, so sending
  // takes no lock. From then on the loop reads nothing and sends nothing new (it still
  // moves what a link holds) until it is stopped. Returns once the words are out: at
  // once when the thread has ended (they are written here then); false, with nothing
  // written here, when the thread does not answer within kFarewellWaitMs.
  bool SayFarewell(const std::string& reason);
  static constexpr uint32_t kFarewellWaitMs = 2000;
  // From now on looks at the liveness mutex of `c`'s client (see kLivenessLookMs); a
  // client that said it holds one and has none is logged and keeps the silence rule.
  void WatchLiveness(RtdConnection* c);
  // Closes every connection (flushing live ones first); returns how many.
  size_t CloseAll();
  // No link is accepted from now on; a link already in the table stays. Once this
  // returns, the table holds every link the bus will ever hold. Any thread.
  void StopAccepting();

 private:
  static void ThreadEntry(void* self);
  // The server thread's lines: an override of Log must not run on an object still being
  // built, so lines written before the server is ready wait and reach Log, in order, once
  // it is (the thread's next line or pass).
  void ServerLog(const std::string& line);
  void HandOverEarlyLines();
  void Loop();
  // The farewell pass: last words to every link (SayFarewell).
  void GiveFarewell();
  // A pass once the farewell was given: held messages move on, nothing else.
  void FarewellPass();
  size_t DropSilent(uint32_t now);
  // Looks at the liveness mutexes when kLivenessLookMs has passed since the last look.
  void LookAtLiveness(uint32_t now);
  size_t AcceptOne(uint32_t now);
  size_t MakeRoom(uint32_t now);
  size_t Heartbeats(uint32_t now);
  // Repairs the acceptors' headers when kLookMs has (nearly) passed since the last time.
  void RepairAcceptors(uint32_t now);
  // After a pass that a link's wake-up started: counts it when it found nothing to do.
  void CountWake(size_t work, uint32_t now);
  // After a sleep, before the links are disarmed: a link whose wait announcement was
  // cleared by another process is polled from then on.
  void CheckAnnouncements();
  size_t FlushAll(uint32_t now);
  size_t ReapLingering(uint32_t now);
  // Drops `c` with `reason`: a registered client leaves as if it had sent the reason.
  void DropWithReason(RtdConnection* c, const std::string& reason);
  void PassDisconnect(uint16_t id, const std::string& reason, uint32_t now);
  // Under SlowPolicy::kBlock, some link is past its bound: publishers wait.
  bool PublishersPaused();
  size_t ReceiveAll();
  bool ReceiveOne(uint32_t now);
  void WakeReaders();
  uint16_t AllocateId();
  void PassInternal(uint16_t id, uint16_t code);
  void IdleWait(uint32_t idle_ms);
  uint32_t SleepLimitMs(uint32_t now);
  bool AnyInput();

  std::unique_ptr<SfSMFListener> listener_;
  const LinkFlow flow_;
  const uint32_t stall_limit_ms_;
  SfCriticalSection table_lock_;  // guards the table's structure against the main thread
  std::map<uint16_t, std::unique_ptr<RtdConnection>> table_;
  // table_ again, indexed by id for FindConnection, which every message sent makes.
  std::vector<RtdConnection*> by_id_;
  std::list<RtdConnection*> round_robin_;
  struct Lingering {
    uint32_t since;
    std::unique_ptr<RtdConnection> connection;
  };
  std::list<Lingering> lingering_;  // guarded by table_lock_
  std::atomic<size_t> lingering_count_{0};
  std::atomic<uint64_t> conflated_total_{0};
  std::atomic<uint64_t> kept_total_{0};
  std::atomic<uint16_t> next_id_{1};
  bool wrapped_ = false;
  uint32_t last_heartbeat_ = 0;
  uint32_t last_liveness_look_ = 0;
  uint32_t last_repair_ = 0;
  uint16_t woken_by_ = 0;  // the link whose wake-up ended the last sleep, 0: none
  std::atomic<uint64_t> idle_wakes_{0};
  size_t watched_ = 0;  // links with a liveness mutex
  uint32_t start_tick_ = 0;
  std::vector<uint8_t> receive_buffer_;
  std::atomic<bool> ready_{false};
  std::vector<std::string> early_lines_;  // server thread (or after it ended)
  std::atomic<bool> stop_{false};
  // SayFarewell's request: the reason is written before the flag is raised.
  std::string farewell_reason_;
  std::atomic<bool> farewell_asked_{false};
  bool farewell_given_ = false;  // server thread (or the main thread once it has ended)
  bool accepting_ = true;        // guarded by table_lock_
  std::atomic<size_t> connection_count_{0};
  std::atomic<uint64_t> passes_{0};
  // Set to end the loop's sleep: stop, or Wake.
  platform::EventObject* doorbell_;
  platform::EventObject* farewell_done_;  // set once the farewell is given
  std::vector<platform::EventObject*> wait_events_;
  std::vector<std::pair<RtdConnection*, bool>> armed_;  // and whether armed for room
  SfThread thread_;
};

}  // namespace orvex
