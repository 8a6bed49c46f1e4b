// Clients notice a bus that was killed: real client processes over both link kinds,
// a bus in a process of its own, killed without warning (SIGKILL, TerminateProcess).
// Watched clients learn it from the bus's ownership mutex within a moment; clients
// told not to look there learn it from the silence; either way sends fail afterwards.
#include <gtest/gtest.h>

#include <cstdio>

#include "client/bus_client.h"
#include "protocol/message_codes.h"
#include "tests/bus_fixture.h"
#include "tests/bus_process.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/kernel/posix/named_object.h"
#endif

namespace orvex::test {
namespace {

// Child exit codes: 20 + the loss found; below 20 a step that failed.
constexpr int kLossBase = 20;
constexpr int kNoConnect = 2, kNoRegister = 3, kNoTimer = 4, kSentAfterLoss = 6,
              kReceivedAfterLoss = 7, kRefusedWhileAlive = 8, kNeverLost = 9;
constexpr uint32_t kChildLifeMs = 90000;
// A "resub" child that got its topic again from the next bus.
constexpr int kRelinked = 30, kNoRelink = 10, kNoTopicAgain = 11;

int LossCode(client::BusLoss loss) {
  return kLossBase + static_cast<int>(loss);
}

// args: base, classic|v2, mode, silence limit, ownership poll (0: off), ready event.
// Modes: "sub" subscribes to the bus's timer and only receives; "idle" subscribes to
// nothing and waits in one long receive after another; "pub" publishes every 20 ms and
// never receives; "listen" registers as a publisher, receives and publishes;
// "resub" is "sub" that links again to the next bus and waits for its topic there.
ORVEX_CHILD_ROLE(watching_client) {
  const std::string& mode = args.at(2);
  client::BusWatchOptions watch;
  watch.silence_limit_ms = static_cast<uint32_t>(std::stoul(args.at(3)));
  watch.ownership_poll_ms = static_cast<uint32_t>(std::stoul(args.at(4)));
  client::BusClient bus;
  bus.SetWatchOptions(watch);
  const auto kind = args.at(1) == "v2" ? client::LinkKind::kV2 : client::LinkKind::kClassic;
  if (!bus.Connect(args.at(0), kind, 15000)) return kNoConnect;
  const bool timer = mode == "sub" || mode == "resub";
  const bool subscriber = timer || mode == "idle";
  if (!bus.RegisterAndWait(subscriber ? "" : "DEAD", mode, !subscriber, subscriber, nullptr,
                           15000)) {
    return kNoRegister;
  }
  client::BusReceived got;
  if (timer && (!bus.RequestTopic(1, "@BUS:TIMER") || !bus.ReceiveCode(MSG_VALUE, &got, 15000))) {
    return kNoTimer;
  }
  SetSignalEvent(args.at(5));

  RtdValue value;
  int32_t n = 0;
  const uint32_t start = platform::TickCount();
  while (bus.bus_loss() == client::BusLoss::kNone) {
    if (platform::TickCount() - start > kChildLifeMs) return kNeverLost;
    if (mode != "sub" && mode != "idle") {
      value.SetInt32(++n);
      if (!bus.Publish(1, value) && bus.bus_loss() == client::BusLoss::kNone) {
        return kRefusedWhileAlive;
      }
    }
    if (mode == "pub") {
      platform::SleepMs(20);
    } else {
      bus.Receive(&got, mode == "idle" ? kChildLifeMs : 50);
    }
  }
  if (mode == "resub") {
    // Tell the test, then link again to whichever bus comes next on the name.
    SetSignalEvent(args.at(5) + "_lost");
    while (!bus.Reconnect(2000)) {
      if (platform::TickCount() - start > kChildLifeMs) return kNoRelink;
      platform::SleepMs(100);
    }
    // The topic comes back under the handle it had, without being asked for again here.
    const bool again = bus.ReceiveCode(MSG_VALUE, &got, 15000) && got.handle == 1 &&
                       bus.bus_loss() == client::BusLoss::kNone;
    return again ? kRelinked : kNoTopicAgain;
  }
  // Gone means gone: nothing more is taken, nothing more arrives.
  value.SetInt32(-1);
  if (bus.Publish(1, value) || bus.KeepAlive()) return kSentAfterLoss;
  if (bus.Receive(&got, 1000)) return kReceivedAfterLoss;
  return LossCode(bus.bus_loss());
}

class DeadBusTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  struct Client {
    std::string label;
    platform::ProcessObject* process = nullptr;
    int code = -1;
    bool ended = false;
    uint32_t ended_after_ms = 0;
  };

  void TearDown() override {
    for (auto& c : clients_) {
      if (!c.ended) FinishChild(c.process, 0);
    }
    if (bus_ != nullptr) FinishChild(bus_, 0);
    BusFixture::TearDown();
  }
  void StartBusProcess() {
    const std::string ready = EventName("bus");
    bus_ = SpawnBusProcess(base_, ready);
    ASSERT_NE(bus_, nullptr);
    ASSERT_TRUE(WaitSignal(ready, 30000));
  }
  // Starts a watching client and waits until it is connected and registered.
  void AddClient(const std::string& label, const std::string& mode, uint32_t silence_ms,
                 uint32_t poll_ms) {
    const std::string ready = EventName(label);
    Client c;
    c.label = label;
    c.process = SpawnChild("watching_client", {base_, GetParam(), mode, std::to_string(silence_ms),
                                               std::to_string(poll_ms), ready});
    ASSERT_NE(c.process, nullptr);
    clients_.push_back(c);
    ASSERT_TRUE(WaitSignal(ready, 30000)) << label;
  }
  // Kills the bus and waits up to `timeout_ms` for every client to end, noting when.
  void KillBusAndWait(uint32_t timeout_ms) {
    ASSERT_TRUE(platform::KillProcess(bus_));
    const uint32_t killed = platform::TickCount();
    FinishChild(bus_, 5000);
    bus_ = nullptr;
    size_t left = clients_.size();
    while (left > 0 && platform::TickCount() - killed < timeout_ms) {
      for (auto& c : clients_) {
        if (!c.ended && platform::WaitProcess(c.process, 0, &c.code)) {
          c.ended = true;
          c.ended_after_ms = platform::TickCount() - killed;
          platform::CloseProcess(c.process);
          --left;
          std::printf("[ measured ] %s %s: ended %u ms after the kill (code %d)\n",
                      GetParam().c_str(), c.label.c_str(), c.ended_after_ms, c.code);
        }
      }
      platform::SleepMs(5);
    }
  }
  const Client& Get(const std::string& label) const {
    for (const auto& c : clients_) {
      if (c.label == label) return c;
    }
    static const Client none;
    return none;
  }

  platform::ProcessObject* bus_ = nullptr;
  std::vector<Client> clients_;
};

TEST_P(DeadBusTest, SubscribersAndPublishersReportAKilledBus) {
  StartBusProcess();
  // Default limits, the ownership mutex watched: noticed long before the 15 s limit.
  AddClient("subscriber", "sub", 15000, 250);
  AddClient("publisher", "pub", 15000, 250);
  // Hears only heartbeats and sleeps between them: it looks at the mutex less often.
  AddClient("idle subscriber", "idle", 15000, 250);
  // Only the silence tells these two: the timer ticks every 0.5 s for the subscriber,
  // the publisher hears only the 5 s heartbeat.
  AddClient("silence subscriber", "sub", 4000, 0);
  AddClient("silence publisher", "listen", 8000, 0);
  // A bus that lives is never declared gone, also past the shortest limit.
  platform::SleepMs(5000);
  for (auto& c : clients_) {
    int code = 0;
    EXPECT_FALSE(platform::WaitProcess(c.process, 0, &code)) << c.label << " ended: " << code;
  }

  KillBusAndWait(40000);
  const int ended = LossCode(client::BusLoss::kEnded);
  const int silent = LossCode(client::BusLoss::kSilent);
  EXPECT_EQ(Get("subscriber").code, ended);
  EXPECT_EQ(Get("publisher").code, ended);
  EXPECT_EQ(Get("idle subscriber").code, ended);
  EXPECT_EQ(Get("silence subscriber").code, silent);
  EXPECT_EQ(Get("silence publisher").code, silent);
  // Generous bounds for a loaded machine; the codes above say which way it was noticed.
  EXPECT_LT(Get("subscriber").ended_after_ms, 12000u);
  EXPECT_LT(Get("publisher").ended_after_ms, 12000u);
  EXPECT_LT(Get("idle subscriber").ended_after_ms, 12000u);
  EXPECT_LT(Get("silence subscriber").ended_after_ms, 4000u + 15000u);
  EXPECT_LT(Get("silence publisher").ended_after_ms, 8000u + 15000u);
}

TEST_P(DeadBusTest, ReconnectRepeatsTheRegistrationAndTopicsOnTheNextBus) {
  StartBusProcess();
  AddClient("resubscriber", "resub", 15000, 250);
  ASSERT_TRUE(platform::KillProcess(bus_));
  FinishChild(bus_, 5000);
  bus_ = nullptr;
  // Start the next bus only once the client knows the first one is gone; else it would
  // learn it only from the silence.
  ASSERT_TRUE(WaitSignal(EventName("resubscriber") + "_lost", 30000));
  StartBusProcess();
  EXPECT_EQ(FinishChild(clients_[0].process, 40000), kRelinked);
  clients_[0].ended = true;
}

#ifndef _WIN32
using DeadBusWatchTest = DeadBusTest;

// The user's name lock held elsewhere for a moment (a loaded machine, a tool) while a
// client starts to watch its bus must not leave it blind to the bus's end: the watch
// opens the ownership mutex at a later look. Only the POSIX backend has such a lock.
TEST_F(DeadBusWatchTest, AWatchStartedWhileTheNameLockWasHeldStillSeesTheBusEnd) {
  StartBusProcess();
  platform::posix::SetNamespaceLockWaitForTesting(100);
  const int lock_fd = open((platform::posix::ObjectFolder() + "/lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(lock_fd, 0);
  ASSERT_EQ(flock(lock_fd, LOCK_EX), 0);
  client::BusWatch watch;
  watch.Start(base_, client::BusWatchOptions{60000, 1});
  close(lock_fd);
  platform::posix::SetNamespaceLockWaitForTesting(1000);
  // Alive: the late look finds the mutex held, and watches it from then on.
  platform::SleepMs(5);
  EXPECT_EQ(watch.Check(false), client::BusLoss::kNone);
  platform::SleepMs(5);
  EXPECT_EQ(watch.Check(false), client::BusLoss::kNone);
  ASSERT_TRUE(platform::KillProcess(bus_));
  FinishChild(bus_, 5000);
  bus_ = nullptr;
  // Well before the silence limit.
  EXPECT_TRUE(WaitUntil([&] { return watch.Check(false) != client::BusLoss::kNone; }, 20000));
  EXPECT_EQ(watch.loss(), client::BusLoss::kEnded);
}
#endif

INSTANTIATE_TEST_SUITE_P(Links, DeadBusTest, ::testing::Values("classic", "v2"), KindName);

}  // namespace
}  // namespace orvex::test
