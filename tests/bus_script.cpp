#include "tests/bus_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

#include "client/bus_client.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_writer.h"
#include "tests/support/child_process.h"
#include "transport/named_event.h"
#include "transport/sf_shared_memory.h"
#include "transport/smf_segments.h"
#include "transport/smf_wake_v2.h"

namespace orvex::test {
namespace {

constexpr uint32_t kWaitMs = 15000;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

class ScriptRunner {
 public:
  explicit ScriptRunner(std::string base) : base_(std::move(base)) {}
  // False with a reason in error_.
  bool Step(const std::vector<std::string>& f);
  std::string error_;

 private:
  uint32_t Number(const std::string& text) {
    if (!text.empty() && text[0] == '$') return vars_[text.substr(1)];
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
  }
  static std::string Text(const std::string& text) {
    if (text.size() > 1 && text[0] == '~')
      return GeneratedText(std::strtoul(text.c_str() + 1, nullptr, 10));
    return text;
  }
  bool Matches(const client::BusReceived& got, const std::vector<std::string>& f);
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }
  bool Serve(const std::string& active_event, const std::string& stop_event);
  bool UntilText(uint32_t handle, const std::string& text);
  bool WakeBus(uint32_t ms);
  bool SpoilAndPublish(uint32_t topic, uint32_t value, uint32_t ms);
  bool Trickle(uint32_t pause_ms, const std::string& stop_event);
  bool Flood(uint32_t topic, uint32_t count, uint32_t pace, uint32_t length,
             bool until_full = false);
  bool Ordered(uint32_t last, const std::string& handles, bool every);

  std::string base_;
  client::BusClient client_;
  uint64_t max_held_ = 0;
  std::map<std::string, uint32_t> vars_;
};

std::string Describe(const client::BusReceived& got) {
  return "code " + std::to_string(got.code) + " h=" + std::to_string(got.handle) +
         " t=" + got.text + " v=" + got.value.ToText() + " parts=" + std::to_string(got.parts);
}

bool ScriptRunner::Matches(const client::BusReceived& got, const std::vector<std::string>& f) {
  if (client::ClassicCodeOf(got.code) !=
      client::ClassicCodeOf(static_cast<uint16_t>(Number(f[1])))) {
    return Fail("unexpected " + Describe(got));
  }
  std::vector<std::string> saves;
  for (size_t i = 2; i < f.size(); ++i) {
    const size_t eq = f[i].find('=');
    const std::string key = f[i].substr(0, eq);
    const std::string want = eq == std::string::npos ? "" : f[i].substr(eq + 1);
    bool ok = true;
    if (key == "h") ok = got.handle == Number(want);
    if (key == "t") ok = got.text == Text(want);
    if (key == "v") ok = got.value.ToText() == Text(want);
    if (key == "vt") ok = got.value.TypeCode() == Number(want);
    if (key == "parts") ok = got.parts == Number(want);
    if (key == "items") {
      std::vector<uint32_t> items;
      if (!want.empty()) {
        for (const std::string& item : Split(want, ',')) items.push_back(Number(item));
      }
      ok = got.items == items;
    }
    if (key == "save") saves.push_back(want);
    if (!ok) return Fail("field " + f[i] + " differs: " + Describe(got));
  }
  for (const std::string& name : saves) vars_[name] = got.handle;
  return true;
}

bool ScriptRunner::Serve(const std::string& active_event, const std::string& stop_event) {
  platform::EventObject* active = MakeNamedEvent(active_event, false);
  platform::EventObject* stop = MakeNamedEvent(stop_event, false);
  platform::SetEvent(active);
  client::BusReceived got;
  uint32_t last_sent = platform::TickCount();
  while (platform::WaitEvent(stop, 0) != platform::WaitResult::kSignalled) {
    if (client_.Receive(&got, 5)) {
      if (client::ClassicCodeOf(got.code) == MSG_TOPIC) {
        RtdValue value;
        value.SetText("pub:" + got.text);
        client_.Publish(got.handle, value);
      }
    }
    if (platform::TickCount() - last_sent > 1000) {
      client_.KeepAlive();
      last_sent = platform::TickCount();
    }
  }
  platform::CloseEvent(active);
  platform::CloseEvent(stop);
  return true;
}

namespace {

// "v2", "v2-polled" (without the optional wake-ups) or classic.
client::LinkKind KindOf(const std::string& name) {
  if (name == "v2") return client::LinkKind::kV2;
  if (name == "v2-polled") return client::LinkKind::kV2Polled;
  return client::LinkKind::kClassic;
}

}  // namespace

bool ScriptRunner::Flood(uint32_t topic, uint32_t count, uint32_t pace, uint32_t length,
                         bool until_full) {
  for (uint32_t i = 0; i < count; ++i) {
    RtdValue value;
    if (length == 0) {
      value.SetInt32(static_cast<int32_t>(i));
    } else {
      std::string text = std::to_string(i) + ":";
      value.SetText(text + GeneratedText(length > text.size() ? length - text.size() : 0));
    }
    const bool sent = client_.Publish(topic, value);
    max_held_ = std::max(max_held_, client_.HeldBytes());
    if (!sent && until_full && client_.send_failure() == client::SendFailure::kTimedOut) {
      return true;
    }
    if (!sent) return Fail("flood refused at " + std::to_string(i));
    if (pace != 0 && (i + 1) % pace == 0) platform::SleepMs(1);
  }
  return !until_full || Fail("every value was sent");
}

bool ScriptRunner::Trickle(uint32_t pause_ms, const std::string& stop_event) {
  platform::EventObject* stop = MakeNamedEvent(stop_event, false);
  client::BusReceived got;
  while (platform::WaitEvent(stop, pause_ms) != platform::WaitResult::kSignalled) {
    if (client_.Receive(&got, 0)) client_.KeepAlive();
  }
  platform::CloseEvent(stop);
  return true;
}

bool ScriptRunner::UntilText(uint32_t handle, const std::string& text) {
  client::BusReceived got;
  uint32_t last_sent = platform::TickCount();
  for (;;) {
    if (platform::TickCount() - last_sent > 1000) {
      client_.KeepAlive();
      last_sent = platform::TickCount();
    }
    if (!client_.Receive(&got, kWaitMs)) return Fail("the value never came");
    if (client::ClassicCodeOf(got.code) != MSG_VALUE || got.handle != handle) continue;
    const std::string_view value = got.value.Text();
    if (value == text) return true;
    // The value with something joined in front: the rest of an abandoned one.
    if (value.ends_with(text)) {
      return Fail("a torn value of " + std::to_string(value.size()) + " characters");
    }
  }
}

bool ScriptRunner::Ordered(uint32_t last, const std::string& handles, bool every) {
  std::map<uint32_t, int64_t> seen;  // handle -> last value number
  for (const std::string& h : Split(handles, ',')) seen[Number(h)] = -1;
  size_t finished = 0;
  client::BusReceived got;
  uint32_t last_sent = platform::TickCount();
  while (finished < seen.size()) {
    // A reader that only reads still shows the bus it is alive.
    if (platform::TickCount() - last_sent > 1000) {
      client_.KeepAlive();
      last_sent = platform::TickCount();
    }
    if (!client_.Receive(&got, kWaitMs)) return Fail("values stopped coming");
    if (client::ClassicCodeOf(got.code) == MSG_DISCONNECT) return Fail("dropped: " + got.text);
    // The empty value a topic holds before its first publish is no number.
    if (client::ClassicCodeOf(got.code) != MSG_VALUE || got.value.TypeCode() == 0) continue;
    auto it = seen.find(got.handle);
    if (it == seen.end()) continue;
    // Integers, or texts that begin with the number.
    const int64_t n = std::strtoll(got.value.ToText().c_str(), nullptr, 10);
    const bool ok = every ? n == it->second + 1 : n > it->second;
    if (!ok) {
      return Fail("handle " + std::to_string(got.handle) + ": " + std::to_string(n) + " after " +
                  std::to_string(it->second));
    }
    it->second = n;
    if (n == static_cast<int64_t>(last)) ++finished;
  }
  return true;
}

bool ScriptRunner::WakeBus(uint32_t ms) {
  platform::EventObject* wake = platform::OpenNamedEvent(client_.link_name() + ".WS");
  if (wake == nullptr) return Fail("the link has no wake-up");
  uint64_t sets = 0;
  for (const uint32_t start = platform::TickCount(); platform::TickCount() - start < ms; ++sets) {
    platform::SetEvent(wake);
  }
  platform::CloseEvent(wake);
  std::printf("set the bus's wake-up %llu times\n", static_cast<unsigned long long>(sets));
  return true;
}

bool ScriptRunner::SpoilAndPublish(uint32_t topic, uint32_t value, uint32_t ms) {
  SfSharedMemory block;
  if (!block.OpenOrCreate(false, client_.link_name() + ".W", smf_wake::kSize)) {
    return Fail("the link has no wake block");
  }
  bool published = false;
  for (const uint32_t start = platform::TickCount(); platform::TickCount() - start < ms;) {
    shm::Word(block.view(), smf_wake::kBusWaiting).store(0);
    if (!published && platform::TickCount() - start >= ms / 2) {
      RtdValue v;
      v.SetInt32(static_cast<int32_t>(value));
      if (!client_.Publish(topic, v)) return Fail("send");
      published = true;
    }
    platform::SleepMs(1);
  }
  return true;
}

bool ScriptRunner::Step(const std::vector<std::string>& f) {
  const std::string& op = f[0];
  auto arg = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
  if (op == "connect") {
    if (!arg(2).empty()) client_.SetClassicSlots(Number(arg(2)), Number(arg(3)));
    return client_.Connect(base_, KindOf(arg(1)), kWaitMs) || Fail("connect failed");
  }
  if (op == "noconnect") {
    return !client_.Connect(base_, KindOf(arg(1)), Number(arg(2))) || Fail("a link was accepted");
  }
  if (op == "register") {
    return client_.Register(arg(1), arg(2), arg(3) == "1", arg(4) == "1") || Fail("send");
  }
  if (op == "rawregister") {
    // The SID exactly as given, as a client written without the library might send it.
    std::vector<uint8_t> message(kClassicSlotSize);
    const RegisterRequest request{arg(1), arg(2), uint8_t(arg(3) == "1"), uint8_t(arg(4) == "1")};
    const size_t size = WriteRegister(message, request);
    message.resize(size);
    WriteMessageHeader(message, MessageHeader{0, MSG_REGISTER, platform::TickCount()});
    return (size != 0 && client_.SendRaw(message)) || Fail("send");
  }
  if (op == "rawpart") {
    // One classic message under any code of the split families, so tests can abort a
    // split or interleave parts the way a faulty client might.
    const uint16_t code = static_cast<uint16_t>(Number(arg(1)));
    std::vector<uint8_t> slot(kClassicSlotSize);
    if (code == MSG_TOPIC || code == MSG_TOPIC_PART || code == MSG_TOPIC_LAST) {
      ClassicTextSplitter(kTopicSplit, Number(arg(2)), Text(arg(3))).WriteNext(slot);
    } else {
      RtdValue value;
      value.SetText(Text(arg(3)));
      ClassicValueSplitter(kValueSplit, Number(arg(2)), value).WriteNext(slot);
    }
    WriteMessageHeader(slot, MessageHeader{0, code, platform::TickCount()});
    return client_.SendRaw(slot) || Fail("send");
  }
  if (op == "topic") return client_.RequestTopic(Number(arg(1)), Text(arg(2))) || Fail("send");
  if (op == "close") return client_.CloseTopic(Number(arg(1))) || Fail("send");
  if (op == "closeall") return client_.CloseAll() || Fail("send");
  if (op == "value" || op == "valuetimesout") {
    RtdValue value;
    const std::string spec = arg(2);
    if (spec.rfind("int:", 0) == 0) {
      value.SetInt32(static_cast<int32_t>(std::strtol(spec.c_str() + 4, nullptr, 10)));
    } else if (spec.rfind("text:", 0) == 0) {
      value.SetText(Text(spec.substr(5)));
    }
    const bool sent = client_.Publish(Number(arg(1)), value);
    if (op == "value") return sent || Fail("send");
    return (!sent && client_.send_failure() == client::SendFailure::kTimedOut) ||
           Fail("the send did not time out");
  }
  if (op == "texta" || op == "textb") {
    return client_.PublishText(Number(arg(1)), Text(arg(2)), op == "textb") || Fail("send");
  }
  if (op == "refresh") {
    std::vector<uint32_t> handles;
    if (!arg(1).empty()) {
      for (const std::string& h : Split(arg(1), ',')) handles.push_back(Number(h));
    }
    return client_.Refresh(handles) || Fail("send");
  }
  if (op == "default") return client_.SetDefaultPublisher(arg(1)) || Fail("send");
  if (op == "monitor") {
    const std::string flags = arg(1) + "000000";
    MonitorRequest request;
    uint8_t* fields[] = {&request.send_topics,   &request.follow_topics, &request.send_values,
                         &request.follow_values, &request.send_clients,  &request.follow_clients};
    for (size_t i = 0; i < 6; ++i) *fields[i] = flags[i] == '1' ? 1 : 0;
    return client_.Monitor(request) || Fail("send");
  }
  if (op == "disconnect") return client_.SendDisconnect(arg(1)) || Fail("send");
  if (op == "keepalive") return client_.KeepAlive() || Fail("send");
  if (op == "sleep") {
    platform::SleepMs(Number(arg(1)));
    return true;
  }
  if (op == "signal" || op == "wait") {
    platform::EventObject* event = MakeNamedEvent(arg(1), false);
    bool ok = true;
    if (op == "signal") {
      client_.Flush(2000);  // what was sent before the signal is in the bus's ring
      platform::SetEvent(event);
    } else {
      // Keep the link alive while waiting: the parent may take its time.
      const uint32_t start = platform::TickCount();
      ok = false;
      while (!ok && platform::TickCount() - start < 60000) {
        ok = platform::WaitEvent(event, 1000) == platform::WaitResult::kSignalled;
        if (!ok && client_.connected()) client_.KeepAlive();
      }
    }
    platform::CloseEvent(event);
    return ok || Fail("event " + arg(1) + " not set");
  }
  if (op == "serve") return Serve(arg(1), arg(2));
  if (op == "flood") return Flood(Number(arg(1)), Number(arg(2)), Number(arg(3)), Number(arg(4)));
  if (op == "floodfull") return Flood(Number(arg(1)), Number(arg(2)), 0, 0, true);
  if (op == "limit") {
    client_.SetLinkLimit(Number(arg(1)));
    if (!arg(2).empty()) client_.SetSendTimeout(Number(arg(2)));
    return true;
  }
  if (op == "held") {
    return max_held_ <= Number(arg(1)) || Fail("held " + std::to_string(max_held_) + " bytes");
  }
  if (op == "untiltext") return UntilText(Number(arg(1)), Text(arg(2)));
  if (op == "wakebus") return WakeBus(Number(arg(1)));
  if (op == "spoilpublish") return SpoilAndPublish(Number(arg(1)), Number(arg(2)), Number(arg(3)));
  if (op == "trickle") return Trickle(Number(arg(1)), arg(2));
  if (op == "allinorder" || op == "newest") {
    return Ordered(Number(arg(1)), arg(2), op == "allinorder");
  }
  if (op == "heartbeat") {
    const uint32_t seen = client_.heartbeats();
    const uint32_t start = platform::TickCount();
    client::BusReceived ignored;
    while (client_.heartbeats() == seen && platform::TickCount() - start < kWaitMs) {
      client_.Receive(&ignored, 10);
    }
    if (client_.heartbeats() == seen) return Fail("no heartbeat");
    if (client_.last_heartbeat_tick() != Number(arg(1))) {
      return Fail("heartbeat carries " + std::to_string(client_.last_heartbeat_tick()));
    }
    return true;
  }
  client::BusReceived got;
  if (op == "expect") {
    if (!client_.Receive(&got, kWaitMs)) return Fail("nothing received");
    return Matches(got, f);
  }
  if (op == "await") {
    const uint16_t code = static_cast<uint16_t>(Number(arg(1)));
    if (!client_.ReceiveCode(code, &got, kWaitMs)) return Fail("code never came");
    return Matches(got, f);
  }
  if (op == "until") {
    // Skips messages until one matches the code and every field.
    const uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < kWaitMs) {
      if (!client_.Receive(&got, kWaitMs)) break;
      if (Matches(got, f)) return true;
    }
    return Fail("no matching message");
  }
  if (op == "quiet") {
    if (client_.Receive(&got, Number(arg(1)))) return Fail("not quiet: " + Describe(got));
    return true;
  }
  return Fail("unknown step " + op);
}

ORVEX_CHILD_ROLE(bus_script) {
  ScriptRunner runner(args[0]);
  for (size_t i = 1; i < args.size(); ++i) {
    if (!runner.Step(Split(args[i], '|'))) {
      std::fprintf(stderr, "bus_script step %zu (%s): %s\n", i, args[i].c_str(),
                   runner.error_.c_str());
      return static_cast<int>(i < 100 ? i + 1 : 100);
    }
  }
  return 0;
}

}  // namespace

std::string GeneratedText(size_t length) {
  std::string text(length, ' ');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

platform::ProcessObject* SpawnBusScript(const std::string& base,
                                        const std::vector<std::string>& steps) {
  std::vector<std::string> args{base};
  args.insert(args.end(), steps.begin(), steps.end());
  return SpawnChild("bus_script", args);
}

int FinishChild(platform::ProcessObject* child, uint32_t timeout_ms) {
  if (child == nullptr) return -1;
  int code = -1;
  if (!platform::WaitProcess(child, timeout_ms, &code)) {
    platform::KillProcess(child);
    platform::WaitProcess(child, 5000, &code);
    code = -1;
  }
  platform::CloseProcess(child);
  return code;
}

}  // namespace orvex::test
