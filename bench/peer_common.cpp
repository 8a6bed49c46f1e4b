#include "bench/peer_common.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

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
          std::to_string(idle_values),
          std::to_string(topics),
          std::to_string(zipf),
          std::to_string(subs),
          std::to_string(drain_ms),
          std::to_string(read_rate)};
}

bool Plan::FromArgs(const std::vector<std::string>& args, Plan* out) {
  if (args.size() < 14) return false;
  out->system = args[0];
  out->run = args[1];
  out->hub = args[2];
  out->dir = args[3];
  out->index = static_cast<uint32_t>(std::stoul(args[4]));
  out->size = static_cast<uint32_t>(std::stoul(args[5]));
  out->rate = static_cast<uint32_t>(std::stoul(args[6]));
  out->duration_ms = static_cast<uint32_t>(std::stoul(args[7]));
  out->idle_values = static_cast<uint32_t>(std::stoul(args[8]));
  out->topics = static_cast<uint32_t>(std::stoul(args[9]));
  out->zipf = static_cast<uint32_t>(std::stoul(args[10]));
  out->subs = static_cast<uint32_t>(std::stoul(args[11]));
  out->drain_ms = static_cast<uint32_t>(std::stoul(args[12]));
  out->read_rate = static_cast<uint32_t>(std::stoul(args[13]));
  return out->size >= 16 && out->subs > 0 && out->index < out->subs;
}

std::string Plan::EventName(const std::string& what) const {
  return "Local\\PeerBench." + run + "." + what;
}

std::string Plan::ResultPath(const std::string& who) const {
  return dir + "/" + run + "." + who;
}

void Stamp(uint8_t* payload, uint32_t size, uint64_t seq) {
  StampHead(payload, seq);
  if (size > 16) std::memset(payload + 16, 0x5A, size - 16);
}

void StampHead(uint8_t* payload, uint64_t seq, uint64_t now_ns) {
  std::memcpy(payload, &now_ns, 8);
  std::memcpy(payload + 8, &seq, 8);
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

uint64_t OtherProcessMemoryKb(uint32_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) != 0) continue;
    std::istringstream value(line.substr(field.size() + 1));
    uint64_t kb = 0;
    return value >> kb ? kb : 0;
  }
  return 0;
}

void SleepUntilNs(uint64_t deadline_ns) {
  // NowNs reads the steady clock, so its time points are the steady clock's. Some
  // runtimes wake a little early (Windows' timer ticks): sleep again until it is time.
  const std::chrono::steady_clock::time_point deadline(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::nanoseconds(deadline_ns)));
  while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_until(deadline);
}

uint64_t Pacer::Due(uint64_t now_ns) const {
  if (now_ns < start_ns_) return 0;
  return (now_ns - start_ns_) * rate_ / 1000000000ull + 1;
}

uint64_t Pacer::NextNs(uint64_t k) const {
  return rate_ == 0 ? start_ns_ : start_ns_ + k * 1000000000ull / rate_;
}

TopicSampler::TopicSampler(uint32_t n, double s, uint64_t seed) : n_(n), random_(seed) {
  if (s <= 0 || n == 0) return;
  cumulative_.resize(n);
  double sum = 0;
  for (uint32_t k = 0; k < n; ++k) {
    sum += 1.0 / std::pow(static_cast<double>(k) + 1.0, s);
    cumulative_[k] = sum;
  }
  for (double& c : cumulative_) c /= sum;
}

uint32_t TopicSampler::Next() {
  if (n_ == 0) return 0;
  if (cumulative_.empty()) return static_cast<uint32_t>(random_() % n_);
  const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
  const auto it = std::lower_bound(cumulative_.begin(), cumulative_.end(), u);
  // Rounding may leave the last sum a hair under 1.
  return static_cast<uint32_t>(std::min<size_t>(it - cumulative_.begin(), n_ - 1));
}

std::vector<uint32_t> TopicShare(uint32_t topics, uint32_t subs, uint32_t index) {
  std::vector<uint32_t> share;
  if (topics == 0 || subs == 0) return share;
  for (uint32_t t = index == 0 ? subs : index; t < topics; t += subs) share.push_back(t);
  share.push_back(0);
  return share;
}

bool TopicNumber(const std::string& text, uint32_t* number) {
  size_t start = text.size();
  while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
  // Ten digits may not fit 32 bits.
  if (start == text.size() || text.size() - start > 9) return false;
  *number = static_cast<uint32_t>(std::stoul(text.substr(start)));
  return true;
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
  const uint32_t capped = latency > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(latency);
  latency_ns.push_back(capped);
  drain_oldest_ns_ = std::max(drain_oldest_ns_, latency);
  drain_took_ = true;
}

void SubResult::EndDrain() {
  if (drain_took_) {
    drain_oldest_us.push_back(
        static_cast<uint32_t>(std::min<uint64_t>(drain_oldest_ns_ / 1000, 0xFFFFFFFFull)));
  }
  drain_oldest_ns_ = 0;
  drain_took_ = false;
}

double PercentileUs(std::vector<uint32_t>& values, double q) {
  if (values.empty()) return 0;
  const size_t k =
      std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size())));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k] / 1000.0;
}

bool WriteSubResult(const std::string& path, const SubResult& r) {
  std::ofstream out(path, std::ios::binary);
  const uint64_t head[7] = {r.received,
                            r.gaps,
                            r.cpu_ns,
                            r.first_ns,
                            r.last_ns,
                            r.latency_ns.size(),
                            r.drain_oldest_us.size()};
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  for (const auto* samples : {&r.latency_ns, &r.drain_oldest_us}) {
    out.write(reinterpret_cast<const char*>(samples->data()),
              static_cast<std::streamsize>(samples->size() * 4));
  }
  return static_cast<bool>(out);
}

bool ReadSubResult(const std::string& path, SubResult* r) {
  std::ifstream in(path, std::ios::binary);
  uint64_t head[7] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  // The counts come from a file another process wrote: bound them by the file itself.
  in.seekg(0, std::ios::end);
  const uint64_t available = (static_cast<uint64_t>(in.tellg()) - sizeof head) / 4;
  if (head[5] > available || head[6] > available - head[5]) return false;
  in.seekg(sizeof head);
  r->received = head[0];
  r->gaps = head[1];
  r->cpu_ns = head[2];
  r->first_ns = head[3];
  r->last_ns = head[4];
  r->latency_ns.resize(head[5]);
  r->drain_oldest_us.resize(head[6]);
  for (auto* samples : {&r->latency_ns, &r->drain_oldest_us}) {
    in.read(reinterpret_cast<char*>(samples->data()),
            static_cast<std::streamsize>(samples->size() * 4));
  }
  return static_cast<bool>(in);
}

bool WritePubResult(const std::string& path, const PubResult& r) {
  return WriteNumbers(path, {r.sent, r.cpu_ns, r.start_ns, r.end_ns});
}

bool ReadPubResult(const std::string& path, PubResult* r) {
  std::vector<uint64_t> fields;
  if (!ReadNumbers(path, 4, &fields)) return false;
  *r = {fields[0], fields[1], fields[2], fields[3]};
  return true;
}

bool WriteNumbers(const std::string& path, const std::vector<uint64_t>& numbers) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(numbers.data()),
            static_cast<std::streamsize>(numbers.size() * 8));
  return static_cast<bool>(out);
}

bool ReadNumbers(const std::string& path, size_t count, std::vector<uint64_t>* numbers) {
  std::ifstream in(path, std::ios::binary);
  numbers->assign(count, 0);
  return static_cast<bool>(
      in.read(reinterpret_cast<char*>(numbers->data()), static_cast<std::streamsize>(count * 8)));
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

void SubscriberLoop::Pace() {
  if (result_.received == 0) return;  // the measured phase has not begun
  const uint64_t now = NowNs();
  if (pace_start_ == 0) pace_start_ = now;
  if (plan_.drain_ms != 0) {
    result_.EndDrain();
    // The next drain on the grid from the first: a drain that overran skips a turn
    // rather than crowding the next one.
    const uint64_t period = uint64_t{plan_.drain_ms} * 1000000;
    SleepUntilNs(pace_start_ + ((now - pace_start_) / period + 1) * period);
  } else if (plan_.read_rate != 0) {
    SleepUntilNs(Pacer(pace_start_, plan_.read_rate).NextNs(++paced_));
  }
}

int SubscriberLoop::Finish() {
  if (plan_.drain_ms != 0) result_.EndDrain();
  result_.cpu_ns = ProcessCpuNs() - cpu_start_;
  return WriteSubResult(plan_.ResultPath("sub" + std::to_string(plan_.index)), result_) ? 0 : 1;
}

}  // namespace orvex::bench
