// The bridge against the official NATS C client as the independent peer: what one
// publishes the other reads, headers included (Linux only: no such package for the
// Windows build).
#include <nats/nats.h>

#include "bridge/testing/bridge_fixture.h"

namespace orvex::bridge::test {
namespace {

class LibnatsInteropTest : public BridgeFixture {
 protected:
  void TearDown() override {
    if (sub_ != nullptr) natsSubscription_Destroy(sub_);
    if (conn_ != nullptr) natsConnection_Destroy(conn_);
    BridgeFixture::TearDown();
  }
  natsConnection* conn_ = nullptr;
  natsSubscription* sub_ = nullptr;
};

// Publishes `data` on `subject`, with an Orvex-Type header when `type` is given.
natsStatus Publish(natsConnection* conn, const char* subject, const std::string& data,
                   const char* type) {
  natsMsg* msg = nullptr;
  natsStatus s = natsMsg_Create(&msg, subject, nullptr, data.data(), static_cast<int>(data.size()));
  if (s == NATS_OK && type != nullptr) s = natsMsgHeader_Set(msg, "Orvex-Type", type);
  if (s == NATS_OK) s = natsConnection_PublishMsg(conn, msg);
  natsMsg_Destroy(msg);
  return s;
}

TEST_F(LibnatsInteropTest, TheOfficialClientReadsExportsAndFeedsImports) {
  NatsServer server;
  ASSERT_TRUE(server.Start());
  const std::string base = orvex::test::UniqueName("Local\\BridgeLibnats");
  StartBus(base);
  client::ClientSession* publisher = BusClient(base, LinkKind::kV2, "ABC", true);
  std::string log;
  StartBridge({"--servers", server.url(), "--bus", base, "--export", "@ABC:PX 1 => lib.px1"}, &log);
  ASSERT_EQ(natsConnection_ConnectTo(&conn_, server.url().c_str()), NATS_OK);
  ASSERT_EQ(natsConnection_SubscribeSync(&sub_, conn_, "lib.px1"), NATS_OK);
  ASSERT_EQ(natsConnection_Flush(conn_), NATS_OK);

  // Export, read by libnats.
  client::BusReceived request;
  ASSERT_TRUE(Next(publisher, MSG_TOPIC, &request));
  ASSERT_TRUE(WaitUntil([&] {
    return Subscribed(server, "lib.px1") &&
           server.Monitor("/connz?subs=1").find("orvex-bridge") != std::string::npos;
  }));
  RtdValue wide;
  wide.SetWideText(u"\u20AC 12");
  publisher->Send([&](client::BusClient& bus) { return bus.Publish(request.handle, wide); });
  natsMsg* msg = nullptr;
  ASSERT_EQ(natsSubscription_NextMsg(&msg, sub_, 15000), NATS_OK);
  EXPECT_EQ(std::string(natsMsg_GetData(msg), natsMsg_GetDataLength(msg)), "\xE2\x82\xAC 12");
  const char* type = nullptr;
  ASSERT_EQ(natsMsgHeader_Get(msg, "Orvex-Type", &type), NATS_OK);
  EXPECT_STREQ(type, "wtext");
  natsMsg_Destroy(msg);

  // Import, fed by libnats: with and without a type header.
  client::ClientSession* cell = BusClient(base, LinkKind::kClassic, "", false);
  cell->Send([](client::BusClient& bus) { return bus.RequestTopic(3, "@NATS:lib.feed"); });
  ASSERT_TRUE(WaitUntil([&] { return Subscribed(server, "lib.feed"); }));
  ASSERT_EQ(Publish(conn_, "lib.feed", "-9000000000", "int64"), NATS_OK);
  ASSERT_EQ(Publish(conn_, "lib.feed", "hello from libnats", nullptr), NATS_OK);
  ASSERT_EQ(Publish(conn_, "lib.feed", "2.5", nullptr), NATS_OK);
  ASSERT_EQ(natsConnection_Flush(conn_), NATS_OK);
  std::vector<RtdValue> expected(3);
  expected[0].SetInt64(-9000000000);
  expected[1].SetText("hello from libnats");
  expected[2].SetDouble(2.5);
  for (const RtdValue& want : expected) {
    client::BusReceived got;
    ASSERT_TRUE(Next(cell, MSG_VALUE, &got));
    EXPECT_EQ(got.value, want) << got.value.ToText();
  }
}

}  // namespace
}  // namespace orvex::bridge::test
