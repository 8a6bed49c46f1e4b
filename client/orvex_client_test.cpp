// The C API of the shared library against a real bus in this process, on both link
// kinds: every value type end to end, requests, refreshes and closes reaching the
// publisher, batches of events, the bus's goodbye, errors, and the examples run as
// processes of their own.
#include "orvex/orvex_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bus/rtd_server.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/test_hooks.h"
#include "tests/support/child_process.h"

namespace orvex {
namespace {

struct Closer {
  void operator()(orvex_client* client) const { orvex_close(client, nullptr, 5000); }
};
using Client = std::unique_ptr<orvex_client, Closer>;

std::string BesideMe(const std::string& name) {
  const std::string self = platform::CurrentExecutablePath();
  const size_t slash = self.find_last_of("/\\");
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + name;
}

int RunToEnd(const std::string& program, const std::vector<std::string>& args) {
  platform::ProcessObject* child = platform::SpawnProcess(BesideMe(program), args);
  if (child == nullptr) return -1;
  int code = -1;
  if (!platform::WaitProcess(child, 60000, &code)) {
    platform::KillProcess(child);
    platform::WaitProcess(child, 5000, &code);
    code = -1;
  }
  platform::CloseProcess(child);
  return code;
}

class OrvexClientTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { StartBus(); }
  void StartBus(RtdServer::Options options = {}) {
    server_.reset();
    options.base_name = base_;
    options.shutdown_grace_ms = 50;
    server_ = std::make_unique<RtdServer>(std::move(options));
    ASSERT_TRUE(server_->listening());
  }
  int link() const { return GetParam() == "v2" ? ORVEX_LINK_V2 : ORVEX_LINK_CLASSIC; }
  Client Connect(const char* sid, int roles) {
    orvex_client* raw = nullptr;
    EXPECT_EQ(orvex_connect(base_.c_str(), link(), 10000, &raw), ORVEX_OK);
    Client client(raw);
    if (raw != nullptr) {
      EXPECT_EQ(orvex_register(raw, sid, "api test", roles, 10000), ORVEX_OK);
      EXPECT_STREQ(orvex_last_status(raw), "Connected");
    }
    return client;
  }
  // Polls `client` until an event of `kind` arrives (others are skipped); false on
  // time-out or error.
  static bool Next(orvex_client* client, int kind, orvex_event* event) {
    const uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < 10000) {
      if (orvex_poll(client, event, 1000) == ORVEX_OK && event->kind == kind) return true;
    }
    return false;
  }
  // A publisher and a subscriber of @PUB:ITEM; *topic gets the bus's topic id.
  void Pair(Client* publisher, Client* subscriber, uint32_t* topic) {
    *publisher = Connect("PUB", ORVEX_ROLE_PUBLISHER);
    *subscriber = Connect("", ORVEX_ROLE_SUBSCRIBER);
    ASSERT_TRUE(*publisher && *subscriber);
    ASSERT_EQ(orvex_request_topic(subscriber->get(), 42, "@PUB:ITEM"), ORVEX_OK);
    orvex_event request;
    ASSERT_TRUE(Next(publisher->get(), ORVEX_EVENT_TOPIC_REQUEST, &request));
    EXPECT_STREQ(request.text, "ITEM");
    *topic = request.handle;
  }

  void TearDown() override {
    server_.reset();
    platform::SetTickOffsetForTesting(0);
  }

  std::string base_ = test::UniqueName("Local\\OrvexSdkT");
  std::unique_ptr<RtdServer> server_;
};

TEST_P(OrvexClientTest, EveryValueTypeArrivesWholeAndInOrder) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  orvex_client* pub = publisher.get();
  std::string long_text;
  for (int i = 0; i < 300; ++i) long_text += static_cast<char>('a' + i % 26);
  std::vector<uint8_t> bytes(250);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  // No link carries a payload over 16,777,215 bytes (a text's NUL counts): refused on
  // both kinds before anything is sent, and nothing of them arrives.
  const std::vector<uint8_t> huge(20000000, 'h');
  EXPECT_EQ(orvex_publish_bytes(pub, topic, huge.data(), 16777216), ORVEX_E_SEND);
  EXPECT_EQ(orvex_publish_bytes(pub, topic, huge.data(), huge.size()), ORVEX_E_SEND);
  const std::string too_long(16777215, 't');
  EXPECT_EQ(orvex_publish_text(pub, topic, too_long.c_str()), ORVEX_E_SEND);
  ASSERT_EQ(orvex_publish_int32(pub, topic, -7), ORVEX_OK);
  ASSERT_EQ(orvex_publish_int64(pub, topic, INT64_C(1) << 40), ORVEX_OK);
  ASSERT_EQ(orvex_publish_double(pub, topic, 2.5), ORVEX_OK);
  ASSERT_EQ(orvex_publish_bool(pub, topic, 5), ORVEX_OK);
  ASSERT_EQ(orvex_publish_text(pub, topic, long_text.c_str()), ORVEX_OK);
  ASSERT_EQ(orvex_publish_bytes(pub, topic, bytes.data(), bytes.size()), ORVEX_OK);
  ASSERT_EQ(orvex_publish_date(pub, topic, 19000), ORVEX_OK);
  ASSERT_EQ(orvex_publish_datetime(pub, topic, 1700000000), ORVEX_OK);

  orvex_event e;
  auto next_value = [&] { return Next(subscriber.get(), ORVEX_EVENT_VALUE, &e); };
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.handle, 42u);
  EXPECT_EQ(e.value.type, ORVEX_TYPE_INT32);
  EXPECT_EQ(e.value.int32, -7);
  EXPECT_STREQ(e.value.text, "-7");
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_INT64);
  EXPECT_EQ(e.value.int64, INT64_C(1) << 40);
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_DOUBLE);
  EXPECT_EQ(e.value.number, 2.5);
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_BOOL);
  EXPECT_EQ(e.value.boolean, 1);
  EXPECT_STREQ(e.value.text, "true");
  ASSERT_TRUE(next_value());  // split into three parts on classic links, joined again
  EXPECT_EQ(e.value.type, ORVEX_TYPE_TEXT);
  EXPECT_EQ(std::string(e.value.text, e.value.length), long_text);
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_BYTES);
  ASSERT_EQ(e.value.length, bytes.size());
  EXPECT_EQ(std::vector<uint8_t>(e.value.text, e.value.text + e.value.length), bytes);
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_DATE);
  EXPECT_EQ(e.value.int32, 19000);
  ASSERT_TRUE(next_value());
  EXPECT_EQ(e.value.type, ORVEX_TYPE_DATETIME);
  EXPECT_EQ(e.value.int64, 1700000000);
}

TEST_P(OrvexClientTest, RefreshAndCloseReachThePublisherAndAHandlerGetsWhatWaited) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  // 40 handles: more than one classic refresh message carries.
  std::vector<uint32_t> handles(40, 42);
  ASSERT_EQ(orvex_refresh(subscriber.get(), handles.data(), handles.size()), ORVEX_OK);
  orvex_event e;
  ASSERT_TRUE(Next(publisher.get(), ORVEX_EVENT_REFRESH, &e));
  ASSERT_GE(e.item_count, 1u);
  EXPECT_EQ(e.items[0], topic);

  ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, 1), ORVEX_OK);
  ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, 2), ORVEX_OK);
  // Both values may already wait in the queue: the handler gets them first, in order.
  platform::SleepMs(200);
  struct Seen {
    std::atomic<int> count{0};
    std::atomic<int> sum{0};
  } seen;
  ASSERT_EQ(orvex_set_handler(
                subscriber.get(),
                [](const orvex_event* event, void* user) {
                  auto* s = static_cast<Seen*>(user);
                  if (event->kind != ORVEX_EVENT_VALUE) return;
                  // Order: 1 first (sum 1), then 2 (sum 1 + 2 * 2 = 5).
                  s->sum += event->value.int32 * (s->count + 1);
                  ++s->count;
                },
                &seen),
            ORVEX_OK);
  EXPECT_EQ(orvex_poll(subscriber.get(), &e, 0), ORVEX_E_STATE);
  const uint32_t start = platform::TickCount();
  while (seen.count < 2 && platform::TickCount() - start < 10000) platform::SleepMs(5);
  ASSERT_EQ(orvex_set_handler(subscriber.get(), nullptr, nullptr), ORVEX_OK);
  EXPECT_EQ(seen.count, 2);
  EXPECT_EQ(seen.sum, 5);

  ASSERT_EQ(orvex_close_topic(subscriber.get(), 42), ORVEX_OK);
  ASSERT_TRUE(Next(publisher.get(), ORVEX_EVENT_TOPIC_CLOSED, &e));
  EXPECT_EQ(e.handle, topic);
}

TEST_P(OrvexClientTest, CloseWaitsUntilTheBusHasTheLastValue) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  // About 12 MB on V2 links, which then move through several segments of the
  // publisher's that the bus opens only when it reaches them. Classic links carry the
  // same bytes as 37 slots a value, enough for the bus to drop a slow subscriber (its
  // backlog limit): a smaller load shows the flush there.
  const bool v2 = link() == ORVEX_LINK_V2;
  const std::string text(v2 ? 4000 : 1000, 'x');
  const int kValues = v2 ? 3000 : 300;
  for (int i = 0; i < kValues; ++i) {
    ASSERT_EQ(orvex_publish_text(publisher.get(), topic, (std::to_string(i) + ":" + text).c_str()),
              ORVEX_OK);
  }
  EXPECT_EQ(orvex_close(publisher.release(), "done", 20000), ORVEX_OK);
  // A bus may skip values for a subscriber that falls behind, never the newest one nor
  // the order: the tail that went with the publisher's close would be the last values.
  int last = -1;
  while (last < kValues - 1) {
    orvex_event e;
    ASSERT_TRUE(Next(subscriber.get(), ORVEX_EVENT_VALUE, &e)) << "after " << last;
    const std::string got(e.value.text, e.value.length);
    const int index = std::stoi(got);
    ASSERT_GT(index, last);
    ASSERT_EQ(got, std::to_string(index) + ":" + text);
    last = index;
  }
}

TEST_P(OrvexClientTest, ClientsThatNeitherSendNorPollAreKeptAliveByTheLibrary) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  // The bus runs on this program's clock, the library on its own copy: moving this one
  // ahead makes the bus see 21 s more silence than passed, which only the messages the
  // library sends by itself (every 2 s of its time) break into gaps under its 15 s.
  for (uint32_t offset = 7000; offset <= 21000; offset += 7000) {
    platform::SetTickOffsetForTesting(offset);
    platform::SleepMs(2200);
  }
  ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, 5), ORVEX_OK);
  orvex_event e;
  ASSERT_TRUE(Next(subscriber.get(), ORVEX_EVENT_VALUE, &e))
      << orvex_disconnect_reason(subscriber.get());
  EXPECT_EQ(e.value.int32, 5);
  EXPECT_STREQ(orvex_disconnect_reason(publisher.get()), "");
}

// What a handler that stops reading at the first value saw.
struct StalledReader {
  std::mutex lock;
  std::condition_variable changed;
  bool released = false;
  bool ended = false;
  int values = 0;
  bool in_order = true;
  std::string reason;
};

TEST_P(OrvexClientTest, ASubscriberTheBusDropsIsToldWhyThroughTheApi) {
  RtdServer::Options options;
  options.slow_policy = SlowPolicy::kBlock;
  options.link_backlog_bytes = 64 * 1024;
  options.stall_limit_ms = 1000;
  ASSERT_NO_FATAL_FAILURE(StartBus(options));
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  StalledReader seen;
  // The handler holds the receiving thread at the first value: the library reads
  // nothing more, as an application that stopped would.
  orvex_set_handler(
      subscriber.get(),
      [](const orvex_event* event, void* user) {
        auto* s = static_cast<StalledReader*>(user);
        std::unique_lock<std::mutex> hold(s->lock);
        if (event->kind == ORVEX_EVENT_VALUE) {
          if (s->values == 0) {
            s->changed.wait_for(hold, std::chrono::seconds(30), [&] { return s->released; });
          }
          if (event->value.int32 != s->values + 1) s->in_order = false;
          ++s->values;
        } else if (event->kind == ORVEX_EVENT_DISCONNECT) {
          s->reason = event->text;
          s->ended = true;
          s->changed.notify_all();
        }
      },
      &seen);
  // Far more than the subscriber's ring and the bus's bound for its link hold.
  for (int32_t i = 1; i <= 3000; ++i) {
    ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, i), ORVEX_OK);
  }
  platform::SleepMs(3000);  // past the stall limit
  std::unique_lock<std::mutex> hold(seen.lock);
  seen.released = true;
  seen.changed.notify_all();
  ASSERT_TRUE(seen.changed.wait_for(hold, std::chrono::seconds(30), [&] { return seen.ended; }));
  EXPECT_EQ(seen.reason.rfind("Reader stalled", 0), 0u) << seen.reason;
  EXPECT_TRUE(seen.in_order);
  EXPECT_LT(seen.values, 3000);
  hold.unlock();
  orvex_set_handler(subscriber.get(), nullptr, nullptr);
  EXPECT_EQ(std::string(orvex_disconnect_reason(subscriber.get())), seen.reason);
  EXPECT_EQ(orvex_request_topic(subscriber.get(), 2, "@PUB:OTHER"), ORVEX_E_BUS_LOST);
}

TEST_P(OrvexClientTest, TheBusGoodbyeIsAnEventAndItsReasonStays) {
  Client subscriber = Connect("", ORVEX_ROLE_SUBSCRIBER);
  ASSERT_TRUE(subscriber);
  EXPECT_STREQ(orvex_disconnect_reason(subscriber.get()), "");
  server_.reset();
  orvex_event e;
  ASSERT_TRUE(Next(subscriber.get(), ORVEX_EVENT_DISCONNECT, &e));
  EXPECT_STREQ(e.text, "Server shutting down");
  EXPECT_EQ(orvex_poll(subscriber.get(), &e, 100), ORVEX_E_BUS_LOST);
  EXPECT_STREQ(orvex_disconnect_reason(subscriber.get()), "Server shutting down");
  EXPECT_EQ(orvex_request_topic(subscriber.get(), 1, "@X:Y"), ORVEX_E_BUS_LOST);
}

// Every event already received comes in one orvex_poll_batch, up to the caller's
// capacity; the rest waits, in order, for the next call. To have them all received
// first, a second subscriber sees a later value of the same publisher (so the bus has
// routed every earlier one) and the bus then shuts down: its goodbye is queued last.
TEST_P(OrvexClientTest, PollBatchTakesWhatArrivedInOrderUpToItsCapacity) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  ASSERT_NO_FATAL_FAILURE(Pair(&publisher, &subscriber, &topic));
  Client sentinel = Connect("", ORVEX_ROLE_SUBSCRIBER);
  ASSERT_TRUE(sentinel);
  ASSERT_EQ(orvex_request_topic(sentinel.get(), 7, "@PUB:END"), ORVEX_OK);
  orvex_event request;
  ASSERT_TRUE(Next(publisher.get(), ORVEX_EVENT_TOPIC_REQUEST, &request));
  constexpr int kValues = 40;
  const std::string tail(300, 'v');  // split into parts on classic links
  for (int i = 0; i < kValues; ++i) {
    ASSERT_EQ(orvex_publish_text(publisher.get(), topic, (std::to_string(i) + tail).c_str()),
              ORVEX_OK);
  }
  ASSERT_EQ(orvex_publish_int32(publisher.get(), request.handle, 1), ORVEX_OK);
  orvex_event end;
  ASSERT_TRUE(Next(sentinel.get(), ORVEX_EVENT_VALUE, &end));
  server_.reset();
  const uint32_t start = platform::TickCount();
  while (*orvex_disconnect_reason(subscriber.get()) == '\0' &&
         platform::TickCount() - start < 10000) {
    platform::SleepMs(5);
  }
  ASSERT_STREQ(orvex_disconnect_reason(subscriber.get()), "Server shutting down");

  orvex_event events[9];
  size_t count = 99;
  EXPECT_EQ(orvex_poll_batch(subscriber.get(), events, 0, &count, 0), ORVEX_E_ARGUMENT);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(orvex_poll_batch(subscriber.get(), nullptr, 9, &count, 0), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_poll_batch(subscriber.get(), events, 9, nullptr, 0), ORVEX_E_ARGUMENT);
  std::vector<size_t> sizes;
  int next = 0;
  bool goodbye = false;
  while (!goodbye) {
    ASSERT_EQ(orvex_poll_batch(subscriber.get(), events, 9, &count, 1000), ORVEX_OK);
    sizes.push_back(count);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_FALSE(goodbye) << "an event after the goodbye";
      if (events[i].kind == ORVEX_EVENT_DISCONNECT) {
        EXPECT_STREQ(events[i].text, "Server shutting down");
        goodbye = true;
        continue;
      }
      ASSERT_EQ(events[i].kind, ORVEX_EVENT_VALUE);
      EXPECT_EQ(events[i].handle, 42u);
      // Every event of the batch still holds its own value.
      EXPECT_EQ(std::string(events[i].value.text, events[i].value.length),
                std::to_string(next++) + tail);
    }
  }
  EXPECT_EQ(next, kValues);
  EXPECT_EQ(sizes, (std::vector<size_t>{9, 9, 9, 9, 5}));
  EXPECT_EQ(orvex_poll_batch(subscriber.get(), events, 9, &count, 100), ORVEX_E_BUS_LOST);
  EXPECT_EQ(count, 0u);
}

TEST_P(OrvexClientTest, BadArgumentsAndRefusalsAreReportedAsCodes) {
  orvex_client* none = nullptr;
  EXPECT_EQ(orvex_connect(base_.c_str(), 7, 100, &none), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_connect("", link(), 100, &none), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_connect(base_.c_str(), link(), 100, nullptr), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_connect((base_ + "Missing").c_str(), link(), 300, &none), ORVEX_E_NO_BUS);
  EXPECT_EQ(none, nullptr);

  orvex_client* raw = nullptr;
  ASSERT_EQ(orvex_connect(base_.c_str(), link(), 10000, &raw), ORVEX_OK);
  Client client(raw);
  EXPECT_EQ(orvex_register(raw, "", "x", ORVEX_ROLE_PUBLISHER, 1000), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_register(raw, "TENLETTERS", "x", ORVEX_ROLE_PUBLISHER, 1000), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_register(raw, "A", "x", 0, 1000), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_register(raw, " bus ", "x", ORVEX_ROLE_PUBLISHER, 10000), ORVEX_E_REFUSED);
  EXPECT_STREQ(orvex_last_status(raw), "SID BUS is reserved for the bus");
  EXPECT_EQ(orvex_publish_text(raw, 1, nullptr), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_publish_bytes(raw, 1, nullptr, 3), ORVEX_E_ARGUMENT);
  EXPECT_EQ(orvex_request_topic(raw, 1, ""), ORVEX_E_ARGUMENT);
  orvex_event e;
  EXPECT_EQ(orvex_poll(raw, &e, 0), ORVEX_E_TIMEOUT);
  EXPECT_EQ(orvex_close(nullptr, nullptr, 0), ORVEX_OK);

  std::vector<std::string> texts;
  for (int code = 0; code >= -10; --code) texts.push_back(orvex_error_text(code));
  EXPECT_EQ(texts.back(), "unknown error");
  for (size_t i = 0; i + 1 < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  }
}

// Misuse a caller can make by mistake is answered with a code: a topic id the bus
// never asked for, and a close from inside the handler (which would have to wait for
// the handler's own thread).
TEST_P(OrvexClientTest, UnaskedTopicsAndACloseInsideTheHandlerAreRefused) {
  Client publisher, subscriber;
  uint32_t topic = 0;
  Pair(&publisher, &subscriber, &topic);
  EXPECT_EQ(orvex_publish_int32(publisher.get(), topic + 1, 1), ORVEX_E_TOPIC);
  EXPECT_EQ(orvex_publish_text(publisher.get(), 0, "x"), ORVEX_E_TOPIC);
  EXPECT_EQ(orvex_publish_int32(subscriber.get(), topic, 1), ORVEX_E_TOPIC);

  struct Seen {
    orvex_client* client = nullptr;
    std::mutex lock;
    std::condition_variable changed;
    int close_result = 1;
  } seen;
  seen.client = subscriber.get();
  ASSERT_EQ(orvex_set_handler(
                subscriber.get(),
                [](const orvex_event* event, void* user) {
                  auto* s = static_cast<Seen*>(user);
                  if (event->kind != ORVEX_EVENT_VALUE) return;
                  const int result = orvex_close(s->client, "from the handler", 1000);
                  std::lock_guard<std::mutex> hold(s->lock);
                  s->close_result = result;
                  s->changed.notify_all();
                },
                &seen),
            ORVEX_OK);
  ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, 7), ORVEX_OK);
  {
    std::unique_lock<std::mutex> hold(seen.lock);
    ASSERT_TRUE(seen.changed.wait_for(hold, std::chrono::seconds(10),
                                      [&] { return seen.close_result != 1; }));
    EXPECT_EQ(seen.close_result, ORVEX_E_STATE);
  }
  // The client is still whole: it takes the next value and closes normally after.
  ASSERT_EQ(orvex_set_handler(subscriber.get(), nullptr, nullptr), ORVEX_OK);
  ASSERT_EQ(orvex_publish_int32(publisher.get(), topic, 8), ORVEX_OK);
  orvex_event e;
  ASSERT_TRUE(Next(subscriber.get(), ORVEX_EVENT_VALUE, &e));
  EXPECT_EQ(e.value.int32, 8);
  EXPECT_EQ(orvex_close(subscriber.release(), nullptr, 5000), ORVEX_OK);
}

TEST_P(OrvexClientTest, TheDocumentedExamplesRunPublisherToSubscriber) {
  const std::vector<std::string> args = {base_, GetParam(), "40"};
  platform::ProcessObject* publisher =
      platform::SpawnProcess(BesideMe(ORVEX_EXAMPLE_PUBLISHER), args);
  ASSERT_NE(publisher, nullptr);
  // The subscriber exits 0 only after 40 values 1, 2, 3... in order.
  EXPECT_EQ(RunToEnd(ORVEX_EXAMPLE_SUBSCRIBER, args), 0);
  int code = -1;
  if (!platform::WaitProcess(publisher, 30000, &code)) platform::KillProcess(publisher);
  platform::CloseProcess(publisher);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(RunToEnd(ORVEX_EXAMPLE_PUBSUB, {base_, GetParam()}), 0);
}

INSTANTIATE_TEST_SUITE_P(Links, OrvexClientTest, ::testing::Values("classic", "v2"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace orvex
