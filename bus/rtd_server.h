#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "bus/bus_topic_table.h"
#include "bus/publisher_sid_list.h"
#include "bus/rtd_client.h"
#include "bus/rtd_server_multi_connection.h"
#include "bus/rtd_topic.h"
#include "bus/value_fanout.h"
#include "threading/critical_section.h"

namespace orvex {

// The bus server: the client registry, publisher selection, topic routing, the bus's
// own topics and refresh requests on top of the connection table. Built and destroyed
// by the main thread; everything else runs on the server thread.
class RtdServer : public RtdServerMultiConnection {
 public:
  // The refusal of a publisher that registers under the bus's own SID.
  static constexpr std::string_view kReservedSidRefusal = "SID BUS is reserved for the bus";
  struct Options {
    std::string base_name = "Local\\Vantel";
    // A reader that falls behind: its values conflated (default) or publishers held
    // back until it catches up (lossless).
    SlowPolicy slow_policy = SlowPolicy::kConflate;
    // Bytes a link may have waiting in its own buffers before the policy applies; held
    // messages that conflation cannot shrink may take as much again before the link is
    // dropped ("Reader too far behind").
    uint64_t link_backlog_bytes = LinkFlow::kDefaultBacklogBytes;
    // Under kBlock: a link past its bound that takes nothing for this long is dropped
    // ("Reader stalled") and its topics closed.
    uint32_t stall_limit_ms = RtdServerMultiConnection::kDefaultStallLimitMs;
    // Time clients get between "Server shutting down" and the closing of their links.
    uint32_t shutdown_grace_ms = 1000;
    // Launches the configured publisher when the first ordinary topic is requested
    // while no publisher is registered; called on the server thread.
    std::function<bool()> auto_start;
    // Topic requests beyond these limits are refused: not routed, not answered, and
    // logged once per client and kind. A topic text is an address and a name, and
    // classic links carry it in parts, so 64 KiB is far beyond any real use. The
    // per-client limits fit a workbook of 250,000 cells, each its own topic of 64
    // characters; the bus program reads them from the registry (flow_settings.h).
    size_t max_topic_text_bytes = 64 * 1024;
    size_t max_topics_per_client = 262144;
    size_t max_topic_text_bytes_per_client = 16 * 1024 * 1024;
    // Sees every line the server writes to BusLog (after it is written); server thread,
    // and the main thread during destruction.
    std::function<void(const std::string&)> log_observer;
  };

  // Starts the bus on `options.base_name`; the bus topics exist before the first
  // message is handled.
  explicit RtdServer(Options options);
  // For a class derived from this one: nothing is handled until its constructor, its own
  // members built, calls SetReady(true). Were the server ready sooner, its thread could
  // call the class's overrides while the object is still being built.
  struct NotReadyYet {};
  RtdServer(Options options, NotReadyYet);
  RtdServer() : RtdServer(Options{}) {}
  // Shutdown(true, 3000), then frees the tables.
  ~RtdServer() override;

  // Stops accepting links, has the server thread tell every link "Server shutting down"
  // as its last words (SayFarewell), waits the grace time, then stops the thread and
  // closes every link. Main thread.
  size_t Shutdown(bool wait, uint32_t timeout_ms) override;

  // Server thread (bus topics, tests through messages).
  // `v2_message`: the MSG_VALUE_V2 message `value` was read from, when it may be
  // forwarded as it stands (ValueFanout::Reset).
  void PublishValue(uint32_t topic_id, uint16_t sender, RtdValue value,
                    std::span<const uint8_t> v2_message = {});
  void SetDefaultPublisherSid(std::string_view sid);
  const SidMap& sid_map() const { return sid_map_; }
  const PublisherSidList& publisher_list() const { return publishers_; }
  // Replaces the auto-start launcher; any thread.
  void SetAutoStartPublisher(std::function<bool()> launcher);

 protected:
  void ProcessMessage(const BusMessage& message) override;
  void OnPeriodic() override;
  uint32_t PeriodicDueMs() override;

 private:
  // Registry, monitors and disconnects.
  void Register(const BusMessage& message);
  void RefuseRegistration(uint16_t id, std::string_view text);
  void Disconnect(uint16_t id, const std::string& reason);
  // Another primary publisher's SID normalises like the SID of `leaving`.
  bool NamesakeRemains(const RtdClient& leaving) const;
  void Monitor(const BusMessage& message);
  void NotifyClientAdded(const RtdClient& client, RtdConnection* to);
  RtdClient* FindClient(uint16_t id);
  void Log(const std::string& line) override;
  void LaunchAutoStartPublisher();

  // Topics and values.
  void RequestTopic(RtdClient& client, uint32_t handle, const std::string& text);
  // False, after logging the first refusal of its kind for this client, when the
  // request would break a per-topic or per-client limit.
  bool WithinLimits(RtdClient& client, uint32_t handle, const std::string& text);
  bool CloseTopic(RtdClient& client, uint32_t handle);
  void CloseAllTopics(RtdClient& client);
  void OnValue(const BusMessage& message);
  void OnValuePart(const BusMessage& message, bool last);
  void OnTopicPart(const BusMessage& message, bool last);
  void OnText(const BusMessage& message);
  void SendTopicAdded(const RtdTopic& topic, RtdConnection* to);
  void SendTopicValue(const RtdTopic& topic, RtdConnection* to);

  // Publisher selection.
  void AssignPublisher(RtdTopic& topic);
  void ReevaluateAllTopics();
  void HandOver(uint16_t old_id, uint16_t new_id);

  // Refresh requests.
  void ProcRefreshRq(const BusMessage& message);
  void ProcRefreshRq_V2(const BusMessage& message);
  void ForwardRefresh(uint16_t client_id, std::span<const uint32_t> handles);

  Options options_;
  SfCriticalSection auto_start_lock_;
  std::map<uint16_t, std::unique_ptr<RtdClient>> clients_;
  SidMap sid_map_;
  StandbyPublishers standby_;
  std::set<uint16_t> topic_notice_;
  std::set<uint16_t> value_notice_;
  std::set<uint16_t> client_notice_;
  TopicTable topics_;
  PublisherSidList publishers_;
  std::unique_ptr<BusTopicTable> bus_topics_;
  ValueFanout fanout_;  // the value being published, encoded once
  bool shut_down_ = false;
};

}  // namespace orvex
