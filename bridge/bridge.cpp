#include "bridge/bridge.h"

#include <nlohmann/json.hpp>

#include <chrono>

#include "bridge/wire_value.h"
#include "platform/clock.h"
#include "protocol/message_codes.h"

namespace orvex::bridge {
namespace {

constexpr uint32_t kBusConnectTimeoutMs = 2000;
constexpr uint32_t kBusRetryMs = 1000;
constexpr uint32_t kRequestTimeoutMs = 2000;
constexpr uint32_t kPumpSliceMs = 200;
constexpr uint32_t kCounterLogMs = 10000;
// Exports stay dirty (and conflate) while the NATS link holds this much unsent.
constexpr size_t kExportQueueBytes = size_t{4} << 20;

bool IsPowerOfTwo(uint64_t n) {
  return n != 0 && (n & (n - 1)) == 0;
}

}  // namespace

Bridge::Bridge(BridgeConfig config, Log log) : config_(std::move(config)), log_(std::move(log)) {
  for (const ExportEntry& entry : config_.exports)
    exports_.push_back(Export{entry, {}, false, false});
}

Bridge::~Bridge() {
  nats_.Stop();
  DropBus("Bridge stopping");
}

int Bridge::Run(const std::atomic<bool>& stop) {
  NatsOptions options;
  options.servers = config_.servers;
  options.name = config_.name;
  options.token = config_.token;
  options.user = config_.user;
  options.password = config_.password;
  options.max_payload = config_.max_value_bytes;
  options.log = log_;
  options.on_state = [this](bool up) { OnNatsState(up); };
  if (!nats_.Start(options)) {
    log_("no usable NATS server URL");
    return 1;
  }
  uint32_t last_bus_try = platform::TickCount() - kBusRetryMs;
  bool said_no_bus = false;
  while (!stop) {
    bool lost = false;
    std::string why;
    {
      std::lock_guard<std::mutex> hold(pump_lock_);
      lost = bus_lost_;
      why = bus_lost_reason_;
      bus_lost_ = false;
    }
    if (lost) DropBus(why);
    if (!session_ && platform::TickCount() - last_bus_try >= kBusRetryMs) {
      last_bus_try = platform::TickCount();
      if (ConnectBus()) {
        said_no_bus = false;
      } else if (!said_no_bus) {
        said_no_bus = true;
        log_("no bus on " + config_.bus + " yet; trying again every second");
      }
    }
    EnsureBucket();
    ReadLastValues();
    SendExports();
    LogCounters(false);
    std::unique_lock<std::mutex> hold(pump_lock_);
    pump_wake_.wait_for(hold, std::chrono::milliseconds(kPumpSliceMs), [&] {
      return stop || bus_lost_ || (!last_value_reads_.empty() && nats_.connected()) ||
             ExportsWaiting();
    });
  }
  nats_.Stop();
  DropBus("Bridge stopping");
  LogCounters(true);
  return 0;
}

bool Bridge::ConnectBus() {
  auto session = std::make_shared<client::ClientSession>();
  if (session->Connect(config_.bus, config_.link, kBusConnectTimeoutMs) != client::kSessionOk) {
    return false;
  }
  const int registered =
      session->Register(config_.sid, config_.name, true, !exports_.empty(), kBusConnectTimeoutMs);
  if (registered != client::kSessionOk) {
    log_("the bus refused the registration as " + config_.sid + ": " + session->status());
    session->Close("Registration refused", 1000);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(session_lock_);
    session_ = session;
  }
  session->SetHandler([this](const client::BusReceived& message) { OnBusMessage(message); });
  for (size_t i = 0; i < exports_.size(); ++i) {
    const uint32_t handle = static_cast<uint32_t>(i + 1);
    const std::string topic = exports_[i].entry.topic;
    session->Send([&](client::BusClient& bus) { return bus.RequestTopic(handle, topic); });
  }
  log_("connected to the bus " + config_.bus + " as " + config_.sid + " (" +
       std::to_string(exports_.size()) + " exports)");
  return true;
}

void Bridge::DropBus(const std::string& why) {
  std::shared_ptr<client::ClientSession> session;
  {
    std::lock_guard<std::mutex> hold(session_lock_);
    session.swap(session_);
  }
  if (!session) return;
  session->SetHandler({});
  if (why != "Bridge stopping") log_("lost the bus: " + why);
  session->Close(why, 1000);
  // The next bus numbers its topics afresh: every import starts again from its request.
  CloseAllImports();
}

void Bridge::OnBusMessage(const client::BusReceived& message) {
  switch (client::ClassicCodeOf(message.code)) {
    case MSG_TOPIC:
      OpenImport(message.handle, message.text);
      return;
    case MSG_TOPIC_CLOSE:
      CloseImport(message.handle);
      return;
    case MSG_REFRESH:
      RefreshImports(message.items);
      return;
    case MSG_VALUE:
      StoreExport(message.handle, message.value);
      return;
    case MSG_TEXT_A:
    case MSG_TEXT_B: {
      RtdValue text;
      text.SetText(message.text);
      StoreExport(message.handle, text);
      return;
    }
    case MSG_DISCONNECT:
    case 0: {
      std::lock_guard<std::mutex> hold(pump_lock_);
      bus_lost_ = true;
      bus_lost_reason_ = message.text.empty() ? "link ended" : message.text;
      pump_wake_.notify_all();
      return;
    }
    default:
      return;
  }
}

void Bridge::OpenImport(uint32_t topic_id, const std::string& item) {
  std::string subject;
  std::string why;
  if (!SubjectForItem(config_.subject_prefix, item, &subject, &why)) {
    log_("import of topic '" + item.substr(0, 80) + "' refused: " + why);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(imports_lock_);
    if (imports_.count(topic_id) != 0) return;
    imports_[topic_id].subject = subject;
  }
  const uint64_t sid =
      nats_.Subscribe(subject, [this, topic_id](const NatsOp& op) { OnNatsMessage(topic_id, op); });
  bool still_open = false;
  {
    std::lock_guard<std::mutex> hold(imports_lock_);
    auto it = imports_.find(topic_id);
    still_open = it != imports_.end();
    if (still_open) it->second.nats_sid = sid;
  }
  if (!still_open) nats_.Unsubscribe(sid);
  if (still_open && !config_.bucket.empty()) {
    std::lock_guard<std::mutex> hold(pump_lock_);
    last_value_reads_.push_back(topic_id);
    pump_wake_.notify_all();
  }
}

void Bridge::CloseImport(uint32_t topic_id) {
  uint64_t sid = 0;
  {
    std::lock_guard<std::mutex> hold(imports_lock_);
    auto it = imports_.find(topic_id);
    if (it == imports_.end()) return;
    sid = it->second.nats_sid;
    imports_.erase(it);
  }
  if (sid != 0) nats_.Unsubscribe(sid);
}

void Bridge::CloseAllImports() {
  std::map<uint32_t, Import> closing;
  {
    std::lock_guard<std::mutex> hold(imports_lock_);
    closing.swap(imports_);
  }
  for (const auto& [id, import] : closing) {
    if (import.nats_sid != 0) nats_.Unsubscribe(import.nats_sid);
  }
}

void Bridge::RefreshImports(const std::vector<uint32_t>& topic_ids) {
  for (const uint32_t id : topic_ids) {
    RtdValue value;
    {
      std::lock_guard<std::mutex> hold(imports_lock_);
      auto it = imports_.find(id);
      if (it == imports_.end() || !it->second.has_value) continue;
      value = it->second.last;
    }
    PublishToBus(id, value);
  }
}

void Bridge::OnNatsMessage(uint32_t topic_id, const NatsOp& op) {
  if (op.oversized) {
    LogDrop(op.subject, "payload of " + std::to_string(op.size) + " bytes exceeds the " +
                            std::to_string(config_.max_value_bytes) + "-byte limit");
    return;
  }
  RtdValue value;
  std::string why;
  if (!DecodeValue(op.headers.Find(kTypeHeader), op.payload, config_.max_value_bytes, &value,
                   &why)) {
    LogDrop(op.subject, why);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(imports_lock_);
    auto it = imports_.find(topic_id);
    if (it == imports_.end()) return;
    if (op.subject != it->second.subject) {
      LogDrop(op.subject, "subject does not belong to topic " + it->second.subject);
      return;
    }
    it->second.last = value;
    it->second.has_value = true;
    it->second.live = true;
  }
  PublishToBus(topic_id, value);
}

void Bridge::PublishToBus(uint32_t topic_id, const RtdValue& value) {
  std::shared_ptr<client::ClientSession> session;
  {
    std::lock_guard<std::mutex> hold(session_lock_);
    session = session_;
  }
  // Without a bus the value waits in the import's last value for the next request.
  if (!session) return;
  const int sent =
      session->Send([&](client::BusClient& bus) { return bus.Publish(topic_id, value); });
  if (sent == client::kSessionOk) {
    ++counters_.imported;
  } else {
    ++counters_.not_delivered;
  }
}

void Bridge::StoreExport(uint32_t handle, const RtdValue& value) {
  if (handle == 0 || handle > exports_.size()) return;
  const size_t index = handle - 1;
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(exports_lock_);
    Export& slot = exports_[index];
    slot.latest = value;
    slot.has_value = true;
    // Straight to NATS while the link keeps up and nothing older of this topic waits;
    // otherwise only the newest value waits, as the bus conflates for a slow reader.
    if (!slot.dirty && PublishExport(slot)) return;
    if (slot.dirty) {
      ++counters_.conflated;
    } else {
      slot.dirty = true;
      dirty_exports_.push_back(index);
      wake = dirty_exports_.size() == 1;
    }
  }
  if (wake) {
    std::lock_guard<std::mutex> hold(pump_lock_);
    pump_wake_.notify_all();
  }
}

bool Bridge::PublishExport(const Export& slot) {
  if (!nats_.connected() || nats_.PendingBytes() >= kExportQueueBytes) return false;
  const WireValue wire = EncodeValue(slot.latest);
  const std::string headers = FormatNatsHeaders({{kTypeHeader, wire.type}});
  if (!nats_.Publish(slot.entry.subject, wire.payload, headers)) return false;
  if (!config_.bucket.empty() && IsValidBucketKey(slot.entry.subject)) {
    nats_.Publish(BucketSubject(slot.entry.subject), wire.payload, headers);
  }
  ++counters_.exported;
  return true;
}

void Bridge::OnNatsState(bool up) {
  if (!up) return;
  std::vector<uint32_t> open_topics;
  if (!config_.bucket.empty()) {
    // Messages sent while the link was down are gone; the bucket has the newest of each.
    std::lock_guard<std::mutex> hold(imports_lock_);
    for (auto& [id, import] : imports_) {
      import.live = false;
      open_topics.push_back(id);
    }
  }
  {
    // The new server (or a restarted one) may lack the newest values: send them again.
    std::lock_guard<std::mutex> hold(exports_lock_);
    for (size_t i = 0; i < exports_.size(); ++i) {
      if (exports_[i].has_value && !exports_[i].dirty) {
        exports_[i].dirty = true;
        dirty_exports_.push_back(i);
      }
    }
  }
  std::lock_guard<std::mutex> hold(pump_lock_);
  bucket_checked_ = false;
  last_value_reads_.insert(last_value_reads_.end(), open_topics.begin(), open_topics.end());
  pump_wake_.notify_all();
}

std::string Bridge::BucketSubject(const std::string& key) const {
  return "$KV." + config_.bucket + "." + key;
}

bool Bridge::BucketCheckDue() {
  std::lock_guard<std::mutex> hold(pump_lock_);
  return !bucket_checked_ && !config_.bucket.empty() && nats_.connected();
}

void Bridge::EnsureBucket() {
  if (!BucketCheckDue()) return;
  const std::string stream = "KV_" + config_.bucket;
  NatsOp reply;
  if (!nats_.Request("$JS.API.STREAM.INFO." + stream, "", kRequestTimeoutMs, &reply)) return;
  const nlohmann::json info = nlohmann::json::parse(reply.payload, nullptr, false);
  const bool answered = info.is_object();
  if (reply.headers.status == 503) {
    log_("bucket " + config_.bucket + " unavailable: JetStream is not enabled on the server");
  } else if (answered && info.contains("error") && info["error"].is_object() &&
             info["error"].value("code", 0) == 404) {
    const nlohmann::json config = {
        {"name", stream},        {"subjects", {"$KV." + config_.bucket + ".>"}},
        {"retention", "limits"}, {"max_msgs_per_subject", 1},
        {"max_consumers", -1},   {"max_msgs", -1},
        {"max_bytes", -1},       {"max_age", 0},
        {"max_msg_size", -1},    {"storage", "file"},
        {"discard", "new"},      {"num_replicas", 1},
        {"allow_direct", true},  {"allow_rollup_hdrs", true},
        {"deny_delete", true},   {"duplicate_window", 120000000000LL}};
    if (!nats_.Request("$JS.API.STREAM.CREATE." + stream, config.dump(), kRequestTimeoutMs,
                       &reply)) {
      return;
    }
    const nlohmann::json created = nlohmann::json::parse(reply.payload, nullptr, false);
    log_(created.is_object() && !created.contains("error")
             ? "created bucket " + config_.bucket
             : "cannot create bucket " + config_.bucket + ": " + reply.payload.substr(0, 200));
  } else if (!answered || info.contains("error")) {
    log_("bucket " + config_.bucket + ": " + reply.payload.substr(0, 200));
  }
  std::lock_guard<std::mutex> hold(pump_lock_);
  bucket_checked_ = true;
}

void Bridge::ReadLastValues() {
  for (;;) {
    uint32_t topic_id = 0;
    {
      std::lock_guard<std::mutex> hold(pump_lock_);
      if (last_value_reads_.empty() || !nats_.connected()) return;
      topic_id = last_value_reads_.front();
      last_value_reads_.pop_front();
    }
    std::string subject;
    {
      std::lock_guard<std::mutex> hold(imports_lock_);
      auto it = imports_.find(topic_id);
      if (it == imports_.end() || it->second.live) continue;
      subject = it->second.subject;
    }
    if (!IsValidBucketKey(subject)) continue;
    NatsOp reply;
    if (!nats_.Request("$JS.API.DIRECT.GET.KV_" + config_.bucket + "." + BucketSubject(subject), "",
                       kRequestTimeoutMs, &reply)) {
      continue;
    }
    const std::string* operation = reply.headers.Find("KV-Operation");
    if (reply.headers.status != 0 || (operation != nullptr && *operation != "PUT")) continue;
    RtdValue value;
    std::string why;
    if (!DecodeValue(reply.headers.Find(kTypeHeader), reply.payload, config_.max_value_bytes,
                     &value, &why)) {
      LogDrop(BucketSubject(subject), why);
      continue;
    }
    {
      // A live message that came meanwhile is newer than the stored one.
      std::lock_guard<std::mutex> hold(imports_lock_);
      auto it = imports_.find(topic_id);
      if (it == imports_.end() || it->second.live) continue;
      it->second.last = value;
      it->second.has_value = true;
    }
    PublishToBus(topic_id, value);
  }
}

bool Bridge::ExportsWaiting() {
  std::lock_guard<std::mutex> hold(exports_lock_);
  return !dirty_exports_.empty() && nats_.connected() && nats_.PendingBytes() < kExportQueueBytes;
}

void Bridge::SendExports() {
  std::lock_guard<std::mutex> hold(exports_lock_);
  while (!dirty_exports_.empty()) {
    Export& slot = exports_[dirty_exports_.front()];
    // A full send queue keeps the value waiting: newer values then replace it.
    if (!PublishExport(slot)) return;
    slot.dirty = false;
    dirty_exports_.pop_front();
  }
}

void Bridge::LogDrop(const std::string& subject, const std::string& why) {
  const uint64_t count = ++counters_.dropped_bad;
  // Every one of the first few, then fewer, so a flood cannot fill the disk.
  if (count <= 100 || IsPowerOfTwo(count)) {
    log_("dropped a message on " + subject.substr(0, 120) + ": " + why + " (" +
         std::to_string(count) + " dropped so far)");
  }
}

void Bridge::LogCounters(bool force) {
  const uint32_t now = platform::TickCount();
  if (!force && now - last_counter_log_ < kCounterLogMs) return;
  last_counter_log_ = now;
  const uint64_t conflated = counters_.conflated.load();
  const uint64_t not_delivered = counters_.not_delivered.load();
  if (!force && conflated == logged_conflated_ && not_delivered == logged_not_delivered_) return;
  logged_conflated_ = conflated;
  logged_not_delivered_ = not_delivered;
  log_("counters: imported " + std::to_string(counters_.imported.load()) + ", exported " +
       std::to_string(counters_.exported.load()) + ", conflated " + std::to_string(conflated) +
       ", not delivered to the bus " + std::to_string(not_delivered) + ", dropped bad input " +
       std::to_string(counters_.dropped_bad.load()));
}

}  // namespace orvex::bridge
