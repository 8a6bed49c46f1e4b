#include "bench/peer_common.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "transport/named_event.h"

namespace orvex::bench {

std::vector<std::string> Plan::ToArgs() const {
  return {system,
          run,
          hub,
          dir,
          std::to_string(index),
          std::to_string(size),
          std::to_string(rate),
          std::to_string(duration_ms),
          std::to_string(idle_values)};
}

bool Plan::FromArgs(const std::vector<std::string>& args, Plan* out) {
  if (args.size() < 9) return false;
  out->system = args[0];
  out->run = args[1];
  out->hub = args[2];
  out->dir = args[3];
  out->index = static_cast<uint32_t>(std::stoul(args[4]));
  out->size = static_cast<uint32_t>(std::stoul(args[5]));
  out->rate = static_cast<uint32_t>(std::stoul(args[6]));
  out->duration_ms = static_cast<uint32_t>(std::stoul(args[7]));
  out->idle_values = static_cast<uint32_t>(std::stoul(args[8]));
  return out->size >= 16;
}

std::string Plan::EventName(const std::string& what) const {
  return "Local\\PeerBench." + run + "." + what;
}

std::string Plan::ResultPath(const std::string& who) const {
  return dir + "/" + run + "." + who;
}

void Stamp(uint8_t* payload, uint32_t size, uint64_t seq) {
  const uint64_t now = NowNs();
  std::memcpy(payload, &now, 8);
  std::memcpy(payload + 8, &seq, 8);
  if (size > 16) std::memset(payload + 16, 0x5A, size - 16);
}

void ReadStamp(const uint8_t* payload, uint64_t* sent_ns, uint64_t* seq) {
  std::memcpy(sent_ns, payload, 8);
  std::memcpy(seq, payload + 8, 8);
}

uint64_t NowNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

uint64_t ProcessCpuNs() {
  // clock() is this process's CPU time, every thread included.
  return static_cast<uint64_t>(std::clock()) * (1000000000ull / CLOCKS_PER_SEC);
}

uint64_t OtherProcessCpuNs(uint32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return 0;
  // The command may hold spaces; fields are counted after its closing parenthesis.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  uint64_t utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  // Linux reports these in USER_HZ, which is 100 on every architecture it runs on.
  return (utime + stime) * 10000000ull;
}

RunEvents::~RunEvents() {
  for (auto& [name, event] : events_) platform::CloseEvent(event);
}

platform::EventObject* RunEvents::Get(const std::string& what) {
  for (auto& [name, event] : events_) {
    if (name == what) return event;
  }
  platform::EventObject* event = MakeNamedEvent(plan_.EventName(what), false);
  events_.emplace_back(what, event);
  return event;
}

void RunEvents::Set(const std::string& what) {
  platform::SetEvent(Get(what));
}

bool RunEvents::IsSet(const std::string& what) {
  return Wait(what, 0);
}

bool RunEvents::Wait(const std::string& what, uint32_t timeout_ms) {
  platform::EventObject* event = Get(what);
  return event != nullptr &&
         platform::WaitEvent(event, timeout_ms) == platform::WaitResult::kSignalled;
}

void SubResult::Take(uint64_t sent_ns, uint64_t seq, uint64_t now_ns) {
  if (received == 0) first_ns = now_ns;
  last_ns = now_ns;
  ++received;
  if (seq > next_seq) gaps += seq - next_seq;
  next_seq = seq + 1;
  const uint64_t latency = now_ns > sent_ns ? now_ns - sent_ns : 0;
  latency_ns.push_back(latency > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(latency));
}

bool WriteSubResult(const std::string& path, const SubResult& r) {
  std::ofstream out(path, std::ios::binary);
  const uint64_t head[6] = {r.received, r.gaps,    r.cpu_ns,
                            r.first_ns, r.last_ns, r.latency_ns.size()};
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  out.write(reinterpret_cast<const char*>(r.latency_ns.data()),
            static_cast<std::streamsize>(r.latency_ns.size() * 4));
  return static_cast<bool>(out);
}

bool ReadSubResult(const std::string& path, SubResult* r) {
  std::ifstream in(path, std::ios::binary);
  uint64_t head[6] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  // The count comes from a file another process wrote: bound it by the file itself.
  in.seekg(0, std::ios::end);
  const uint64_t available = (static_cast<uint64_t>(in.tellg()) - sizeof head) / 4;
  if (head[5] > available) return false;
  in.seekg(sizeof head);
  r->received = head[0];
  r->gaps = head[1];
  r->cpu_ns = head[2];
  r->first_ns = head[3];
  r->last_ns = head[4];
  r->latency_ns.resize(head[5]);
  in.read(reinterpret_cast<char*>(r->latency_ns.data()), static_cast<std::streamsize>(head[5] * 4));
  return static_cast<bool>(in);
}

bool WritePubResult(const std::string& path, const PubResult& r) {
  std::ofstream out(path, std::ios::binary);
  const uint64_t fields[4] = {r.sent, r.cpu_ns, r.start_ns, r.end_ns};
  out.write(reinterpret_cast<const char*>(fields), sizeof fields);
  return static_cast<bool>(out);
}

bool ReadPubResult(const std::string& path, PubResult* r) {
  std::ifstream in(path, std::ios::binary);
  uint64_t fields[4] = {};
  if (!in.read(reinterpret_cast<char*>(fields), sizeof fields)) return false;
  *r = {fields[0], fields[1], fields[2], fields[3]};
  return true;
}

bool SubscriberLoop::Take(const uint8_t* payload, uint32_t size) {
  if (size < 16) return true;
  uint64_t sent = 0, seq = 0;
  ReadStamp(payload, &sent, &seq);
  if (seq == kWarmUp) {
    if (!ready_) {
      ready_ = true;
      events_.Set("ready." + std::to_string(plan_.index));
    }
    return true;
  }
  if (seq == kEnd) return false;
  if (result_.received == 0) cpu_start_ = ProcessCpuNs();
  result_.Take(sent, seq, NowNs());
  return true;
}

int SubscriberLoop::Finish() {
  result_.cpu_ns = ProcessCpuNs() - cpu_start_;
  return WriteSubResult(plan_.ResultPath("sub" + std::to_string(plan_.index)), result_) ? 0 : 1;
}

}  // namespace orvex::bench
