#include "rtd/bus_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "bus/rtd_server.h"
#include "client/bus_client.h"
#include "platform/clock.h"
#include "protocol/message_codes.h"
#include "tests/support/child_process.h"
#include "tests/support/wait_until.h"

namespace orvex::rtd {
namespace {

// The link reconnects and re-asks in the background; a loaded machine needs a while.
constexpr uint32_t kLinkWaitMs = 20000;

// A bus in this process, a publisher "ABC" answering every topic, and the link under
// test with a book; refreshes collect what each cell shows.
class BusLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartBus();
    MakeLink(BookLimits{});
  }
  void MakeLink(const BookLimits& limits) {
    link_.reset();
    book_ = std::make_unique<RtdTopicBook>(limits);
    RtdBusLink::Options options;
    options.bus = base_;
    options.retry_ms = 50;
    options.notify = [this] { ++notifications_; };
    link_ = std::make_unique<RtdBusLink>(book_.get(), options);
  }
  void TearDown() override {
    link_.reset();
    publisher_.reset();
    bus_.reset();
  }
  void StartBus(size_t topics_per_client = RtdServer::Options{}.max_topics_per_client) {
    RtdServer::Options options;
    options.base_name = base_;
    options.max_topics_per_client = topics_per_client;
    options.shutdown_grace_ms = 50;
    bus_ = std::make_unique<RtdServer>(options);
    ASSERT_TRUE(bus_->listening());
  }
  void StartPublisher() {
    publisher_ = std::make_unique<client::BusClient>();
    ASSERT_TRUE(publisher_->Connect(base_, client::LinkKind::kV2));
    ASSERT_TRUE(publisher_->RegisterAndWait("ABC", "test publisher", true, false, nullptr));
  }
  // The bus's topic id of the next topic asked of the publisher.
  uint32_t NextRequest(std::string* text = nullptr, uint32_t timeout_ms = 20000) {
    client::BusReceived message;
    if (!publisher_->ReceiveCode(MSG_TOPIC, &message, timeout_ms)) return 0;
    if (text) *text = message.text;
    return message.handle;
  }
  // Takes refreshes (as Excel does after each notification) until `cell` shows `want`.
  bool WaitCell(int32_t cell, const std::string& want) {
    return test::WaitUntil(
        [&] {
          for (auto& [id, value] : book_->Refresh()) shown_[id] = CellText(value);
          return shown_[cell] == want;
        },
        kLinkWaitMs);
  }
  void Connect(int32_t cell, const std::string& text) {
    auto opened = book_->Connect(cell, text);
    ASSERT_EQ(opened.outcome, ConnectOutcome::kOk);
    if (opened.new_bus_topic) link_->Open(opened.handle);
  }
  uint32_t BusTopicCount() {
    client::BusClient monitor;
    if (!monitor.Connect(base_, client::LinkKind::kV2)) return 0xFFFFFFFF;
    if (!monitor.RegisterAndWait("", "monitor", false, true, nullptr)) return 0xFFFFFFFF;
    client::BusReceived reply;
    if (!monitor.Monitor({}) || !monitor.ReceiveCode(MSG_MONITOR_REPLY, &reply, 10000)) {
      return 0xFFFFFFFF;
    }
    return reply.items.at(0);
  }

  std::string base_ = test::UniqueName("Local\\OrvexRtdT");
  std::unique_ptr<RtdServer> bus_;
  std::unique_ptr<client::BusClient> publisher_;
  std::unique_ptr<RtdTopicBook> book_;
  std::unique_ptr<RtdBusLink> link_;
  std::atomic<int> notifications_{0};
  std::map<int32_t, std::string> shown_;
};

TEST_F(BusLinkTest, ValuesReachCellsAndPublisherAndBusLossShowThenHeal) {
  StartPublisher();
  link_->Start();
  Connect(1, "@BUS:TICKER");
  Connect(2, "@ABC:ACME.LAST");
  std::string text;
  const uint32_t topic = NextRequest(&text);
  ASSERT_NE(topic, 0u);
  EXPECT_EQ(text, "ACME.LAST");
  ASSERT_TRUE(WaitCell(1, "1"));
  for (int i = 1; i <= 200; ++i) {
    RtdValue v;
    v.SetInt32(i);
    ASSERT_TRUE(publisher_->Publish(topic, v));
  }
  ASSERT_TRUE(WaitCell(2, "200"));
  EXPECT_GE(notifications_.load(), 2);

  // The publisher leaves: its cell says so, the bus's own topic goes on.
  publisher_->SendDisconnect("bye");
  publisher_->Flush(5000);
  publisher_.reset();
  ASSERT_TRUE(WaitCell(2, "#REF!"));
  const std::string ticks = shown_[1];
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        for (auto& [id, value] : book_->Refresh()) shown_[id] = CellText(value);
        return shown_[1] != ticks;
      },
      kLinkWaitMs));

  // The bus goes and comes back: cells show it, then resume by themselves.
  bus_.reset();
  ASSERT_TRUE(WaitCell(2, "#NULL!"));
  EXPECT_EQ(shown_[1], "#NULL!");
  StartBus();
  StartPublisher();
  ASSERT_NE(NextRequest(&text), 0u);
  EXPECT_EQ(text, "ACME.LAST");
  ASSERT_TRUE(WaitCell(1, "1"));
  EXPECT_EQ(link_->connections(), 2u);
}

TEST_F(BusLinkTest, ClosingTheLastCellClosesTheBusTopicAndStopSaysGoodbye) {
  link_->Start();
  Connect(1, "@BUS:TICKER");
  Connect(2, "@BUS:TICKER");
  Connect(3, "@BUS:TIMER");
  ASSERT_TRUE(WaitCell(1, "1"));
  // The link's own two subscriptions (publisher lists) and the two cells' topics.
  ASSERT_TRUE(test::WaitUntil([&] { return BusTopicCount() == 4; }, kLinkWaitMs));
  EXPECT_EQ(book_->Disconnect(1), 0u);
  const uint32_t ticker = book_->Disconnect(2);
  ASSERT_NE(ticker, 0u);
  link_->Close(ticker);
  ASSERT_TRUE(test::WaitUntil([&] { return BusTopicCount() == 3; }, kLinkWaitMs));
  link_->Stop();
  EXPECT_FALSE(link_->connected());
  ASSERT_TRUE(test::WaitUntil([&] { return BusTopicCount() == 0; }, kLinkWaitMs));
}

TEST_F(BusLinkTest, CellsWaitForABusThatIsNotThereYet) {
  bus_.reset();
  link_->Start();
  Connect(1, "@BUS:TICKER");
  ASSERT_TRUE(WaitCell(1, "#NULL!"));
  EXPECT_FALSE(link_->connected());
  StartBus();
  ASSERT_TRUE(WaitCell(1, "1"));
  EXPECT_TRUE(link_->connected());
}

// A workbook as large as the bus lets one client be: every topic is routed (the bus
// holds them all), the publisher's topics past 65,534 get their values, and one more
// text is refused at once rather than left waiting for an answer that never comes.
// The bus here gives a client 70,000 topics (its default, 262,144, is filled in the book's
// own test and the bench; a quarter million through a sanitizer build takes minutes).
TEST_F(BusLinkTest, AsManyTopicsAsTheBusAllowsAreServedAndOneMoreIsRefused) {
  constexpr size_t kBusLimit = 70000;
  bus_.reset();
  StartBus(kBusLimit);
  MakeLink(BookLimits::ForBus(kBusLimit, kBusDefaultTextBytes));
  link_->Start();
  const size_t past_old_cap = 65534;
  const size_t last = book_->limits().topics - 1;
  ASSERT_GT(last, past_old_cap);
  for (size_t i = 0; i <= last; ++i) {
    // The rest are addressed to a publisher that never comes: the bus holds them and
    // sends nothing, which keeps the test light.
    const std::string text = i == past_old_cap ? "@ABC:PAST.OLD.CAP"
                             : i == last       ? "@ABC:LAST"
                                               : "@NOBODY:N" + std::to_string(i);
    Connect(static_cast<int32_t>(i + 1), text);
  }
  EXPECT_EQ(book_->Connect(-1, "@ABC:ONE.MORE").outcome, ConnectOutcome::kTooManyTopics);
  EXPECT_EQ(book_->bus_topic_count(), last + 1);
  // The book's topics and the link's own two: exactly what the bus gives a client. A
  // loaded machine (or a sanitizer build) takes a while over so many topics.
  constexpr uint32_t kManyMs = 90000;
  ASSERT_TRUE(test::WaitUntil([&] { return BusTopicCount() == kBusLimit; }, kManyMs));
  // The publisher comes only now (an idle link would be dropped meanwhile) and is asked
  // for its two topics.
  StartPublisher();
  std::map<std::string, uint32_t> asked;
  for (int i = 0; i < 2; ++i) {
    std::string text;
    const uint32_t topic = NextRequest(&text, kManyMs);
    ASSERT_NE(topic, 0u);
    asked[text] = topic;
  }
  ASSERT_EQ(asked.size(), 2u);
  RtdValue v;
  v.SetInt32(11);
  ASSERT_TRUE(publisher_->Publish(asked["PAST.OLD.CAP"], v));
  v.SetInt32(22);
  ASSERT_TRUE(publisher_->Publish(asked["LAST"], v));
  ASSERT_TRUE(WaitCell(static_cast<int32_t>(past_old_cap + 1), "11"));
  ASSERT_TRUE(WaitCell(static_cast<int32_t>(last + 1), "22"));
}

}  // namespace
}  // namespace orvex::rtd
