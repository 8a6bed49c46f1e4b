#pragma once
// The bridge: a bus client that serves topics under its SID from NATS subjects
// (import) and carries local publishers' topics to NATS (export), keeping both links
// up on its own.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/bridge_config.h"
#include "bridge/nats_connection.h"
#include "client/client_session.h"

namespace orvex::bridge {

// What the bridge did, for its log and its tests.
struct BridgeCounters {
  std::atomic<uint64_t> imported{0};       // NATS messages published on the bus
  std::atomic<uint64_t> exported{0};       // bus values published to NATS
  std::atomic<uint64_t> dropped_bad{0};    // NATS messages refused (bad input)
  std::atomic<uint64_t> conflated{0};      // export values replaced by a newer one unsent
  std::atomic<uint64_t> not_delivered{0};  // imports the bus link did not take
};

class Bridge {
 public:
  using Log = std::function<void(const std::string&)>;

  // `config` has its exports resolved. `log` receives every line; any thread.
  Bridge(BridgeConfig config, Log log);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Runs until `stop` is set (checked at least every 200 ms): connects to the bus and
  // to NATS and reconnects either whenever it is lost. Returns 0, or 1 when NATS
  // could not even be started (no usable server URL).
  int Run(const std::atomic<bool>& stop);
  const BridgeCounters& counters() const { return counters_; }

 private:
  struct Import {
    std::string subject;
    uint64_t nats_sid = 0;
    RtdValue last;
    bool has_value = false;
    // A message came on this NATS connection: newer than anything the bucket holds.
    bool live = false;
  };
  struct Export {
    ExportEntry entry;
    RtdValue latest;
    bool has_value = false;
    bool dirty = false;
  };

  bool ConnectBus();
  void DropBus(const std::string& why);
  void OnBusMessage(const client::BusReceived& message);
  void OpenImport(uint32_t topic_id, const std::string& item);
  void CloseImport(uint32_t topic_id);
  void CloseAllImports();
  void RefreshImports(const std::vector<uint32_t>& topic_ids);
  void OnNatsMessage(uint32_t topic_id, const NatsOp& op);
  void PublishToBus(uint32_t topic_id, const RtdValue& value);
  void StoreExport(uint32_t handle, const RtdValue& value);
  // Publishes the slot's value (and puts it in the bucket); false when the NATS link is
  // down or full. Under exports_lock_, which keeps each topic's values in order.
  bool PublishExport(const Export& slot);
  void OnNatsState(bool up);
  // Pump thread work: pending bucket reads, the bucket itself, dirty exports.
  void ReadLastValues();
  void EnsureBucket();
  bool BucketCheckDue();
  // Dirty exports and a link to send them on. Any thread.
  bool ExportsWaiting();
  void SendExports();
  void LogDrop(const std::string& subject, const std::string& why);
  void LogCounters(bool force);
  std::string BucketSubject(const std::string& key) const;

  BridgeConfig config_;
  Log log_;
  BridgeCounters counters_;
  NatsConnection nats_;

  // The pump thread sleeps here until there is work.
  std::mutex pump_lock_;
  std::condition_variable pump_wake_;
  bool bus_lost_ = false;
  std::string bus_lost_reason_;
  bool bucket_checked_ = false;
  std::deque<uint32_t> last_value_reads_;  // topic ids waiting for a bucket read

  std::shared_ptr<client::ClientSession> session_;  // swapped by the pump thread only
  std::mutex session_lock_;

  std::mutex imports_lock_;
  std::map<uint32_t, Import> imports_;

  std::mutex exports_lock_;
  std::vector<Export> exports_;
  std::deque<size_t> dirty_exports_;

  uint64_t logged_conflated_ = 0;
  uint64_t logged_not_delivered_ = 0;
  uint32_t last_counter_log_ = 0;
};

}  // namespace orvex::bridge
