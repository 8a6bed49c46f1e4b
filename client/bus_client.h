#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/bus_watch.h"
#include "client/classic_client.h"
#include "client/v2_client.h"
#include "protocol/message_fields.h"
#include "protocol/rtd_value.h"
#include "protocol/split_joiner.h"
#include "transport/smf_liveness.h"

namespace orvex::client {

// kV2Polled: a V2 link without the optional wake-ups, as a client written before them
// behaves (both ends poll).
enum class LinkKind { kClassic, kV2, kV2Polled };

// One message from the bus as a client sees it, split parts already joined.
struct BusReceived {
  // The code as received; for joined parts the whole code (7, 13, 34 or 36).
  uint16_t code = 0;
  // The number at +8 where the code has one: handle, topic id, client id, registration
  // result, heartbeat tick or topic count of a monitor reply.
  uint32_t handle = 0;
  // Topic text, text A/B, status, reason, or the SID of a client notice.
  std::string text;
  RtdValue value;
  // Refresh items; for a monitor reply {topic count, client count}.
  std::vector<uint32_t> items;
  uint32_t parts = 1;          // messages joined into this one
  std::vector<uint8_t> bytes;  // the last message as received (for the codec readers)
};

// What a client holds at most, by default, of messages the bus has not taken yet: the
// bus's own default per link. See BusClient::SetLinkLimit.
inline constexpr uint64_t kDefaultLinkLimitBytes = uint64_t{4} << 20;
// How long, by default, a send waits for the bus to take room in a full link.
inline constexpr uint32_t kDefaultSendTimeoutMs = 2000;

// Why the last Send operation failed.
enum class SendFailure {
  kNone,
  // The link stayed full for the whole send time-out: the bus read too little of it.
  kTimedOut,
  // Anything else: not connected, the bus gone, a broken link, a message no link takes.
  kRefused,
};

// The classic code of a V2 form (64 -> 7, 66 -> 13, ...); other codes unchanged.
uint16_t ClassicCodeOf(uint16_t code);

// A client of the bus over either link kind: registration, topics, values, refresh,
// monitoring, and the receiving side that joins split messages. Sending is safe from
// one thread at a time, receiving from one thread at a time.
class BusClient {
 public:
  BusClient() = default;
  ~BusClient() { Close(); }
  BusClient(const BusClient&) = delete;
  BusClient& operator=(const BusClient&) = delete;

  // How later connections decide that the bus is gone (see bus_loss()).
  void SetWatchOptions(const BusWatchOptions& options) { watch_options_ = options; }
  // The slot size and count later classic connections ask for (default 128 x 1000).
  void SetClassicSlots(uint32_t slot_size, uint32_t slot_count) {
    classic_slot_size_ = slot_size;
    classic_slot_count_ = slot_count;
  }
  // Caps what this side holds of messages the bus has not taken (default
  // kDefaultLinkLimitBytes): the bytes of a V2 link's own segments, or of a classic
  // link's send queue outside its ring. A send that finds the cap reached waits for the
  // bus to take some, up to the send time-out (asleep until the bus consumes when a V2
  // link has wake-ups; looking every millisecond otherwise). A V2 message too large for
  // the segments held gets a segment of its own once the bus has read everything.
  // Applies to the current link and later ones.
  void SetLinkLimit(uint64_t bytes);
  // How long a Send operation waits for room before it fails with
  // SendFailure::kTimedOut (default kDefaultSendTimeoutMs); nothing is dropped silently.
  void SetSendTimeout(uint32_t timeout_ms) { send_timeout_ms_ = timeout_ms; }
  // Whether later connections hold their link's liveness mutex (default: yes), by which
  // the bus notices within a second that this process ended, instead of after its
  // silence limit. Off, this client behaves as one written before the mutex.
  void SetHoldLiveness(bool hold) { hold_liveness_ = hold; }
  // Connects to the bus serving `base` through the acceptor of `kind` and starts
  // watching it. False when no bus answered within `timeout_ms`.
  bool Connect(const std::string& base, LinkKind kind, uint32_t timeout_ms = 10000);
  // Closes the link without telling the bus (the bus notices the silence).
  void Close();
  // Connects again to the bus name and link kind of the last Connect (after the bus was
  // lost, or closed the link), repeats the last registration and waits for its reply,
  // then asks again for every topic still open under the same handles and repeats the
  // last monitor request. Topic ids a publisher got from the old bus mean nothing to
  // the new one. False when no bus answered or it refused; the link is then closed and
  // the caller may try again later.
  bool Reconnect(uint32_t timeout_ms = 10000);
  bool connected() const { return classic_ != nullptr || v2_ != nullptr; }
  // The name the link's objects derive from; empty when not connected.
  std::string link_name() const;
  // The last Connect or Reconnect failed because another process of the user held the
  // lock of the user's named objects (platform::NameLockPath()) for too long, not for
  // want of a bus.
  bool name_lock_held() const { return name_lock_held_; }
  // After a classic Connect that failed: the bus's named mutex that another process
  // held all along (ClassicClient::held_mutex), empty when none.
  const std::string& held_mutex() const { return held_mutex_; }
  LinkKind kind() const { return kind_; }

  // Why the bus is considered gone: kNone while it seems alive. Once it is gone every
  // Send operation fails and Receive delivers only what the bus left in the link; the
  // caller closes the link (and may connect again). Noticed by Receive (silence, or the
  // bus's ownership mutex abandoned) and by the Send operations (ownership mutex only).
  BusLoss bus_loss() const { return watch_.loss(); }
  // Looks at the bus now, as Receive does between messages; the loss found. Receiving
  // thread.
  BusLoss CheckBus();
  // The bus closed this link: a MSG_DISCONNECT was received (the reason is in
  // closed_reason(): shutdown, inactivity, a reader too slow...). Nothing more will come
  // over the link; the caller closes it (and may connect again). Cleared by Close,
  // Connect and Reconnect. Receiving thread.
  bool closed_by_bus() const { return closed_by_bus_; }
  const std::string& closed_reason() const { return closed_reason_; }

  // Each Send operation returns false when the link refused a message (or the content
  // cannot be sent, like more than 29 refresh items on a classic link).
  // A publisher's SID is sent normalised (trimmed, upper case), the only form the bus
  // routes topics to.
  bool Register(std::string_view sid, std::string_view name, bool publisher, bool subscriber);
  // Register, then wait for the reply: true when the bus accepted; *reply gets it.
  bool RegisterAndWait(std::string_view sid, std::string_view name, bool publisher, bool subscriber,
                       RegisterReply* reply, uint32_t timeout_ms = 10000);
  // Topic request under the client's own handle; long texts are split on classic links.
  bool RequestTopic(uint32_t handle, std::string_view text);
  bool CloseTopic(uint32_t handle);
  bool CloseAll();
  // A publisher's value or text for the bus topic `topic_id`.
  bool Publish(uint32_t topic_id, const RtdValue& value);
  bool PublishText(uint32_t topic_id, std::string_view text, bool kind_b);
  bool Refresh(std::span<const uint32_t> handles);
  bool SetDefaultPublisher(std::string_view sid);
  bool Monitor(const MonitorRequest& request);
  bool SendDisconnect(std::string_view reason);
  // Waits up to `timeout_ms` until every message sent is in the link (classic links
  // queue on the client side first); true then.
  bool Flush(uint32_t timeout_ms);
  // Waits up to `timeout_ms` until the bus can read every message sent even after this
  // side closes: on classic links once they are in the bus's ring (Flush), on V2 links
  // once the bus has followed every hop to a later segment (it opens them only when it
  // reaches them, and a segment this side has closed by then is gone). Close waits for
  // the same, but for a fixed second only.
  bool Drain(uint32_t timeout_ms);
  // The bytes this side holds for messages the bus has not taken: a V2 link's own
  // segments (kept until the link closes), a classic link's send queue outside the ring.
  uint64_t HeldBytes();
  // Why the last Send operation returned false (kNone after one that succeeded).
  SendFailure send_failure() const { return send_failure_; }
  // A message the bus ignores but that shows the client is alive.
  bool KeepAlive();
  // Any bytes as one message (the header's id and code are the caller's).
  bool SendRaw(std::span<const uint8_t> message);

  // The next message other than a heartbeat, within `timeout_ms`. False on time-out,
  // and at once when no message waits and the bus is gone.
  bool Receive(BusReceived* out, uint32_t timeout_ms);
  // Any thread: a Receive now waiting (or the next one to wait) returns false at once,
  // so a receiving thread can sleep for long and still be told to stop.
  void InterruptReceive();
  // Up to `max` messages other than heartbeats, appended to *out: waits up to
  // `timeout_ms` for the first, then takes only what has already arrived. The number
  // appended (0 on time-out, and at once when nothing waits and the bus is gone).
  size_t ReceiveBatch(std::vector<BusReceived>* out, size_t max, uint32_t timeout_ms);
  // Skips messages until one of `code` (or its V2 form) arrives.
  bool ReceiveCode(uint16_t code, BusReceived* out, uint32_t timeout_ms);
  uint32_t heartbeats() const { return heartbeats_; }
  // Times Receive went to the link to wait (or look) for a message: an idle client
  // makes one per message from the bus (its heartbeats), not one per time slice.
  uint64_t receive_waits() const { return receive_waits_.load(std::memory_order_relaxed); }
  uint32_t last_heartbeat_tick() const { return last_heartbeat_tick_; }
  // Times a V2 link gave records to Receive: each time every record that waited (up to
  // kInboxRecords and kInboxBytes), so far fewer than the messages received.
  uint64_t link_reads() const { return link_reads_; }

 private:
  bool Open(LinkKind kind, uint32_t timeout_ms);
  bool OpenLink(LinkKind kind, uint32_t timeout_ms);
  void HoldLiveness();
  bool SendMessage(uint16_t code, std::span<uint8_t> message);
  bool SendFailed(SendFailure why) {
    send_failure_ = why;
    return false;
  }
  bool ReceiveRaw(std::vector<uint8_t>* bytes, uint32_t timeout_ms);
  // V2: copies every record the link holds (within kInboxRecords and kInboxBytes, and
  // at least one) into the inbox in one pass, so the link is read and released once a
  // wake-up rather than once a record. The number taken.
  size_t FillInbox();
  // Hands the inbox's oldest record over in *bytes (its buffer goes back to the inbox).
  void TakeFromInbox(std::vector<uint8_t>* bytes);
  // Messages from the bus wait in the link unread; receiving thread.
  bool InputWaiting();
  // Decodes `bytes`; false while a split message is still incomplete.
  bool Decode(std::vector<uint8_t>& bytes, BusReceived* out);
  // The steps of Decode by kind of message (out->code already set): texts and values,
  // joining classic parts (*complete false while parts are missing), each answering
  // whether the code was theirs; then the bus's notices and replies.
  bool DecodeText(const std::vector<uint8_t>& bytes, BusReceived* out, bool* complete);
  bool DecodeValue(const std::vector<uint8_t>& bytes, BusReceived* out, bool* complete);
  void DecodeNotice(const std::vector<uint8_t>& bytes, BusReceived* out);

  LinkKind kind_ = LinkKind::kClassic;
  // What Reconnect repeats: the bus name, the registration, the open topics (handle ->
  // text) and the monitor request.
  std::string base_;
  std::optional<RegisterRequest> registration_;
  std::map<uint32_t, std::string> open_topics_;
  std::optional<MonitorRequest> monitor_;
  std::unique_ptr<ClassicClient> classic_;
  std::unique_ptr<V2Client> v2_;
  BusWatchOptions watch_options_;
  BusWatch watch_;
  SplitJoiner joiner_;
  bool hold_liveness_ = true;
  SfLivenessHold liveness_;
  uint32_t parts_ = 0;
  uint32_t heartbeats_ = 0;
  std::atomic<uint64_t> receive_waits_{0};  // written by the receiving thread only
  std::atomic<bool> interrupt_{false};
  // The message buffer a caller's BusReceived gave back, for the next Receive.
  std::vector<uint8_t> spare_bytes_;
  // V2 records taken from the link and not yet decoded: a ring of buffers kept for
  // reuse (no allocation a message once warm).
  static constexpr size_t kInboxRecords = 512;
  static constexpr uint64_t kInboxBytes = uint64_t{256} << 10;
  std::vector<std::vector<uint8_t>> inbox_;
  size_t inbox_head_ = 0;
  size_t inbox_count_ = 0;
  uint64_t link_reads_ = 0;
  uint32_t classic_slot_size_ = 128;
  uint32_t classic_slot_count_ = 1000;
  uint64_t link_limit_ = kDefaultLinkLimitBytes;
  uint32_t send_timeout_ms_ = kDefaultSendTimeoutMs;
  SendFailure send_failure_ = SendFailure::kNone;
  bool name_lock_held_ = false;
  std::string held_mutex_;
  bool closed_by_bus_ = false;
  std::string closed_reason_;
  uint32_t last_heartbeat_tick_ = 0;
};

}  // namespace orvex::client
