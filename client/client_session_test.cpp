// The session under the C API against a real bus in this process, on both link kinds:
// what it holds of received messages, and connecting to a bus that is not there yet.
#include "client/client_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "protocol/message_codes.h"
#include "tests/support/child_process.h"

namespace orvex::client {
namespace {

class ClientSessionTest : public ::testing::TestWithParam<LinkKind> {
 protected:
  void StartBus() {
    RtdServer::Options options;
    options.base_name = base_;
    options.shutdown_grace_ms = 50;
    server_ = std::make_unique<RtdServer>(std::move(options));
    ASSERT_TRUE(server_->listening());
  }
  // The next message of `code` for the caller, skipping others; false after 10 s.
  static bool Next(ClientSession& session, uint16_t code, BusReceived* out) {
    const uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < 10000) {
      if (session.Poll(out, 500) == kSessionOk && ClassicCodeOf(out->code) == code) return true;
    }
    return false;
  }
  void TearDown() override { server_.reset(); }

  std::string base_ = test::UniqueName("Local\\OrvexSessT");
  std::unique_ptr<RtdServer> server_;
};

// A caller that does not poll while large values arrive holds at most the limit (and
// the message that crossed it); the rest waits in the link and arrives, in order,
// once the caller polls.
TEST_P(ClientSessionTest, ReceivedMessagesBeyondTheByteLimitWaitInTheLink) {
  StartBus();
  ClientSession publisher;
  ClientSession subscriber;
  ASSERT_EQ(publisher.Connect(base_, GetParam(), 10000), kSessionOk);
  ASSERT_EQ(subscriber.Connect(base_, GetParam(), 10000), kSessionOk);
  ASSERT_EQ(publisher.Register("PUB", "pub", true, false, 10000), kSessionOk);
  ASSERT_EQ(subscriber.Register("", "sub", false, true, 10000), kSessionOk);
  constexpr uint64_t kLimit = 512 * 1024;
  constexpr size_t kValueBytes = 200 * 1024;
  constexpr int kValues = 8;
  subscriber.SetReceiveLimit(kLimit);
  ASSERT_EQ(subscriber.Send([](BusClient& bus) { return bus.RequestTopic(5, "@PUB:ITEM"); }),
            kSessionOk);
  BusReceived request;
  ASSERT_TRUE(Next(publisher, MSG_TOPIC, &request));
  for (int i = 0; i < kValues; ++i) {
    RtdValue value;
    value.SetText(std::string(kValueBytes, static_cast<char>('a' + i)));
    ASSERT_EQ(publisher.Send([&](BusClient& bus) { return bus.Publish(request.handle, value); }),
              kSessionOk);
  }
  const uint32_t start = platform::TickCount();
  while (subscriber.queued_bytes() < kLimit && platform::TickCount() - start < 10000) {
    platform::SleepMs(10);
  }
  ASSERT_GE(subscriber.queued_bytes(), kLimit);
  // Time for the receiving thread to take more, were it to.
  platform::SleepMs(1000);
  BusReceived one;
  one.value.SetText(std::string(kValueBytes, 'x'));
  EXPECT_LE(subscriber.queued_bytes(), kLimit + ClientSession::QueuedSize(one));
  for (int i = 0; i < kValues; ++i) {
    BusReceived got;
    ASSERT_TRUE(Next(subscriber, MSG_VALUE, &got)) << "value " << i;
    EXPECT_EQ(got.handle, 5u);
    EXPECT_EQ(got.value.Text(), std::string(kValueBytes, static_cast<char>('a' + i)));
  }
  EXPECT_EQ(subscriber.queued_bytes(), 0u);
}

// Clients started with their bus wait for it within their time-out, and give up after
// it when none comes.
TEST_P(ClientSessionTest, ConnectWaitsWithinItsTimeOutForABusToAppear) {
  ClientSession missing;
  EXPECT_EQ(missing.Connect(base_ + "None", GetParam(), 300), kSessionNoBus);
  std::thread late([this] {
    platform::SleepMs(700);
    StartBus();
  });
  ClientSession early;
  const int connected = early.Connect(base_, GetParam(), 20000);
  late.join();
  ASSERT_EQ(connected, kSessionOk);
  EXPECT_EQ(early.Register("", "early", false, true, 10000), kSessionOk);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClientSessionTest,
                         ::testing::Values(LinkKind::kClassic, LinkKind::kV2),
                         [](const ::testing::TestParamInfo<LinkKind>& info) {
                           return std::string(info.param == LinkKind::kV2 ? "V2" : "Classic");
                         });

}  // namespace
}  // namespace orvex::client
