// About a minute of churn: publishers and subscribers over both link kinds come, go and
// are killed with kill -9 at random moments while values flow. Every subscriber checks
// that each publisher's values for a topic reach it in publish order; the bus must not
// crash, must not grow, and must leave no shared objects behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "client/bus_client.h"
#include "platform/clock.h"
#include "platform/named_mapping.h"
#include "platform/stale_objects.h"
#include "platform/thread.h"
#include "protocol/message_codes.h"
#include "tests/bus_fixture.h"

namespace orvex::test {
namespace {

constexpr int kOrderBroken = 3;
constexpr int kNoBus = 20;
constexpr int kNoValues = 21;  // a subscriber that ran but never saw a value
constexpr uint32_t kKillEveryMs = 1500;
constexpr const char* kTopics[] = {"T0", "T1", "T2", "T3", "T4", "@P1:T5", "@P2,P1:T6", "@P3:T7"};
constexpr const char* kSids[] = {"P1", "P2", "P3"};

client::LinkKind KindOf(const std::string& name) {
  return name == "v2" ? client::LinkKind::kV2 : client::LinkKind::kClassic;
}

// args: base, kind, sid, lifetime ms. Publishes "pid:seq" to every topic it serves.
ORVEX_CHILD_ROLE(soak_publisher) {
  client::BusClient bus;
  if (!bus.Connect(args[0], KindOf(args[1]), 10000)) return kNoBus;
  if (!bus.Register(args[2], "soak", true, false)) return 1;
  const std::string me = std::to_string(platform::CurrentProcessId()) + ":";
  const uint32_t lifetime = std::stoul(args[3]);
  const uint32_t start = platform::TickCount();
  std::set<uint32_t> topics;
  uint32_t seq = 0;
  uint32_t last_alive = start;
  client::BusReceived got;
  while (platform::TickCount() - start < lifetime) {
    while (bus.Receive(&got, 0)) {
      const uint16_t code = client::ClassicCodeOf(got.code);
      if (code == MSG_TOPIC) topics.insert(got.handle);
      if (code == MSG_TOPIC_CLOSE) topics.erase(got.handle);
      if (code == MSG_DISCONNECT) return 0;
    }
    for (uint32_t topic : topics) {
      RtdValue value;
      value.SetText(me + std::to_string(++seq));
      bus.Publish(topic, value);
    }
    if (platform::TickCount() - last_alive > 1000) {
      bus.KeepAlive();
      last_alive = platform::TickCount();
    }
    platform::SleepMs(2);
  }
  bus.SendDisconnect("soak done");
  bus.Flush(1000);
  return 0;
}

// args: base, kind, seed, lifetime ms. Subscribes, closes and re-subscribes at random
// and checks the order of every publisher's values per handle.
ORVEX_CHILD_ROLE(soak_subscriber) {
  client::BusClient bus;
  if (!bus.Connect(args[0], KindOf(args[1]), 10000)) return kNoBus;
  if (!bus.Register("", "soak", false, true)) return 1;
  std::mt19937 random(std::stoul(args[2]));
  const uint32_t lifetime = std::stoul(args[3]);
  const uint32_t start = platform::TickCount();
  // handle -> publisher -> last sequence number seen.
  std::map<uint32_t, std::map<std::string, uint64_t>> seen;
  uint32_t next_handle = 1;
  uint32_t last_action = start;
  uint64_t values = 0;
  client::BusReceived got;
  while (platform::TickCount() - start < lifetime) {
    if (platform::TickCount() - last_action > 200) {
      last_action = platform::TickCount();
      if (seen.size() < 4 || random() % 3 != 0) {
        const uint32_t handle = next_handle++;
        seen[handle];
        bus.RequestTopic(handle, kTopics[random() % std::size(kTopics)]);
      } else {
        auto it = std::next(seen.begin(), static_cast<long>(random() % seen.size()));
        bus.CloseTopic(it->first);
        seen.erase(it);  // values still in flight for it are ignored below
      }
    }
    if (!bus.Receive(&got, 5)) continue;
    const uint16_t code = client::ClassicCodeOf(got.code);
    if (code == MSG_DISCONNECT) return 0;
    if (code != MSG_VALUE || got.value.Type() != RtdValueType::kText) continue;
    auto handle = seen.find(got.handle);
    if (handle == seen.end()) continue;
    const std::string text(got.value.Text());
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return kOrderBroken + 1;
    const uint64_t seq = std::stoull(text.substr(colon + 1));
    uint64_t& last = handle->second[text.substr(0, colon)];
    if (seq <= last) {
      std::fprintf(stderr, "handle %u: %s after %llu\n", got.handle, text.c_str(),
                   static_cast<unsigned long long>(last));
      return kOrderBroken;
    }
    last = seq;
    ++values;
  }
  bus.SendDisconnect("soak done");
  bus.Flush(1000);
  return values > 0 ? 0 : kNoValues;
}

struct Child {
  platform::ProcessObject* process;
  bool killed;
};

TEST_F(BusFixture, SoakChurnKillsAndOrder) {
  StartBus();
  const char* seconds = std::getenv("ORVEX_SOAK_SECONDS");
  const uint32_t duration_ms = (seconds != nullptr ? std::atoi(seconds) : 45) * 1000u;
  std::mt19937 random(12345);
  std::vector<Child> live;
  int finished = 0, killed = 0, refused = 0, with_values = 0;
  uint64_t rss_mid = 0;
  const uint32_t start = platform::TickCount();
  uint32_t last_kill = start;
  while (platform::TickCount() - start < duration_ms) {
    // Keep about 20 live clients; killed links hold a place until they fall silent.
    while (live.size() < 20) {
      const std::string kind = random() % 2 ? "v2" : "classic";
      const std::string lifetime = std::to_string(2000 + random() % 6000);
      platform::ProcessObject* p =
          random() % 4 == 0
              ? SpawnChild("soak_publisher", {base_, kind, kSids[random() % 3], lifetime})
              : SpawnChild("soak_subscriber", {base_, kind, std::to_string(random()), lifetime});
      ASSERT_NE(p, nullptr);
      live.push_back({p, false});
    }
    platform::SleepMs(100);
    // Kills go by the clock, not by passes of this loop: under Wine a pass that starts
    // many children takes seconds, and a per-pass chance then killed nobody.
    if (platform::TickCount() - last_kill >= kKillEveryMs) {
      last_kill = platform::TickCount();
      std::vector<Child*> candidates;
      for (Child& child : live) {
        if (!child.killed) candidates.push_back(&child);
      }
      if (!candidates.empty()) {
        Child* victim = candidates[random() % candidates.size()];
        platform::KillProcess(victim->process);
        victim->killed = true;
        ++killed;
      }
    }
    for (size_t i = 0; i < live.size();) {
      int code = 0;
      if (!platform::WaitProcess(live[i].process, 0, &code)) {
        ++i;
        continue;
      }
      if (!live[i].killed) {
        EXPECT_TRUE(code == 0 || code == kNoBus || code == kNoValues) << "child exit " << code;
        refused += code == kNoBus;
        ++finished;
        with_values += code == 0;
      }
      platform::CloseProcess(live[i].process);
      live.erase(live.begin() + static_cast<long>(i));
    }
    if (rss_mid == 0 && platform::TickCount() - start > duration_ms / 3) rss_mid = ResidentKb();
  }
  for (Child& child : live) {
    int code = 0;
    if (!child.killed) {
      EXPECT_TRUE(platform::WaitProcess(child.process, 20000, &code));
      EXPECT_TRUE(code == 0 || code == kNoBus || code == kNoValues) << "child exit " << code;
    } else {
      platform::WaitProcess(child.process, 5000, &code);
    }
    platform::CloseProcess(child.process);
  }
  const uint64_t rss_end = ResidentKb();
  std::printf(
      "soak: %d finished (%d saw values in order), %d killed, %d found the bus full;"
      " rss %llu -> %llu kB\n",
      finished, with_values, killed, refused, static_cast<unsigned long long>(rss_mid),
      static_cast<unsigned long long>(rss_end));
  EXPECT_GT(finished, 20);
  EXPECT_GT(with_values, finished / 3);
  EXPECT_GE(killed, 2);
  if (rss_mid != 0 && kResidentBoundsHold) {
    EXPECT_LT(rss_end, rss_mid + 32 * 1024);
  }
  server_.reset();
  // A client killed just after making a segment the bus had not opened yet leaves that
  // file behind, as any killed holder does, until the next bus start sweeps it: sweep
  // as that start would. What the bus itself still held would stay, and fail below.
  platform::SweepStaleObjects();
  // Nothing of this bus is left: not its acceptor, not a link of a killed client.
  EXPECT_EQ(platform::OpenMapping(base_), nullptr);
  const std::filesystem::path shm("/dev/shm");
  std::error_code error;
  if (std::filesystem::is_directory(shm, error)) {
    const std::string stem = base_.substr(base_.find('\\') + 1);
    // The objects live in a per-user folder below it.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             shm, std::filesystem::directory_options::skip_permission_denied, error)) {
      EXPECT_EQ(entry.path().filename().string().find(stem), std::string::npos) << entry.path();
    }
  }
}

}  // namespace
}  // namespace orvex::test
