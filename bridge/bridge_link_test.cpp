// orvex-bridge end to end: a real bus, a real nats-server, the bridge as a program.
#include "bridge/testing/bridge_fixture.h"

namespace orvex::bridge::test {
namespace {

class BridgeLinkTest : public BridgeFixture, public ::testing::WithParamInterface<LinkKind> {
 protected:
  std::string LinkName() const { return GetParam() == LinkKind::kClassic ? "classic" : "v2"; }
};

// Import: a cell's topic @NATS:ACME.LAST follows the subject md.ACME.LAST, each
// message turned into the bus value its header (or its text) says, and the bridge
// leaves the subject when the cell lets the topic go. Export: a local publisher's
// topic reaches NATS with its type, every value in order.
TEST_P(BridgeLinkTest, ImportAndExportThroughTheBus) {
  NatsServer server;
  ASSERT_TRUE(server.Start());
  const std::string base = orvex::test::UniqueName("Local\\BridgeLink");
  StartBus(base);
  client::ClientSession* publisher = BusClient(base, GetParam(), "ABC", true);
  std::string log;
  StartBridge({"--servers", server.url(), "--bus", base, "--link", LinkName(), "--subject-prefix",
               "md.", "--export", "@ABC:PX.1"},
              &log);

  // Export.
  NatsConnection* nats = NatsClient({server.url()});
  NatsInbox exported;
  Collect(nats, "md.PX.1", &exported);
  client::BusReceived request;
  ASSERT_TRUE(Next(publisher, MSG_TOPIC, &request));
  EXPECT_EQ(request.text, "PX.1");
  ASSERT_TRUE(WaitUntil([&] { return nats->connected() && Subscribed(server, "md.PX.1"); }));
  constexpr int kCount = 300;
  for (int i = 1; i <= kCount; ++i) {
    RtdValue value;
    value.SetInt32(i);
    ASSERT_EQ(
        publisher->Send([&](client::BusClient& bus) { return bus.Publish(request.handle, value); }),
        client::kSessionOk);
  }
  ASSERT_TRUE(WaitUntil([&] {
    return exported.size() > 0 &&
           exported.at(exported.size() - 1).payload == std::to_string(kCount);
  }));
  // Values may be conflated if NATS falls behind, but never reordered or altered.
  int previous = 0;
  for (size_t i = 0; i < exported.size(); ++i) {
    const NatsOp op = exported.at(i);
    ASSERT_NE(op.headers.Find("Orvex-Type"), nullptr);
    EXPECT_EQ(*op.headers.Find("Orvex-Type"), "int32");
    const int value = std::stoi(op.payload);
    EXPECT_GT(value, previous);
    previous = value;
  }
  EXPECT_EQ(previous, kCount);

  // Import.
  client::ClientSession* cell = BusClient(base, GetParam(), "", false);
  ASSERT_EQ(
      cell->Send([](client::BusClient& bus) { return bus.RequestTopic(1, "@NATS:ACME.LAST"); }),
      client::kSessionOk);
  ASSERT_TRUE(WaitUntil([&] { return Subscribed(server, "md.ACME.LAST"); }));
  nats->Publish("md.ACME.LAST", "101.25");
  nats->Publish("md.ACME.LAST", "7", TypeHeader("int32"));
  nats->Publish("md.ACME.LAST", "ACME Corp");
  nats->Publish("md.ACME.LAST", "caf\xC3\xA9", TypeHeader("wtext"));
  nats->Publish("md.ACME.LAST", "true", TypeHeader("bool"));
  nats->Publish("md.ACME.LAST", "2024-12-10T01:01:01Z", TypeHeader("datetime"));
  std::vector<RtdValue> expected(6);
  expected[0].SetDouble(101.25);
  expected[1].SetInt32(7);
  expected[2].SetText("ACME Corp");
  expected[3].SetWideText(u"caf\u00E9");
  expected[4].SetBool(1);
  expected[5].SetDateTime(1733792461);
  for (const RtdValue& want : expected) {
    client::BusReceived got;
    ASSERT_TRUE(Next(cell, MSG_VALUE, &got)) << want.ToText();
    EXPECT_EQ(got.handle, 1u);
    EXPECT_EQ(got.value, want) << got.value.ToText() << " vs " << want.ToText();
  }

  // A cell that lets go of the topic: the bridge leaves the subject.
  ASSERT_EQ(cell->Send([](client::BusClient& bus) { return bus.CloseTopic(1); }),
            client::kSessionOk);
  EXPECT_TRUE(WaitUntil([&] { return !Subscribed(server, "md.ACME.LAST"); }));
  EXPECT_TRUE(Subscribed(server, "md.PX.1"));
}

INSTANTIATE_TEST_SUITE_P(Links, BridgeLinkTest,
                         ::testing::Values(LinkKind::kClassic, LinkKind::kV2),
                         [](const auto& info) {
                           return info.param == LinkKind::kClassic ? "classic" : "v2";
                         });

using BridgeInputTest = BridgeFixture;

// Whatever arrives from NATS, the bridge drops what it cannot turn into a value, says
// so in its log, and goes on serving.
TEST_F(BridgeInputTest, BadMessagesAreLoggedAndDropped) {
  NatsServer server;
  ASSERT_TRUE(server.Start());
  const std::string base = orvex::test::UniqueName("Local\\BridgeBad");
  StartBus(base);
  std::string log;
  StartBridge({"--servers", server.url(), "--bus", base, "--max-value-bytes", "1000"}, &log);
  client::ClientSession* cell = BusClient(base, LinkKind::kV2, "", false);
  cell->Send([](client::BusClient& bus) { return bus.RequestTopic(1, "@NATS:md.BAD"); });
  cell->Send([](client::BusClient& bus) { return bus.RequestTopic(2, "@NATS:md bad topic"); });
  NatsConnection* nats = NatsClient({server.url()});
  ASSERT_TRUE(WaitUntil([&] { return Subscribed(server, "md.BAD"); }));
  EXPECT_TRUE(LogHas(
      log, "import of topic 'md bad topic' refused: 'md bad topic' is not a valid NATS subject"));

  nats->Publish("md.BAD", "\xC3\x28 not UTF-8");
  nats->Publish("md.BAD", "1", TypeHeader("decimal"));
  nats->Publish("md.BAD", "seven", TypeHeader("int32"));
  nats->Publish("md.BAD", std::string(1001, 'x'));
  nats->Publish("md.BAD", "x", FormatNatsHeaders({{"Orvex-Type", "bytes"}}));
  nats->Publish("md.BAD", "42");
  client::BusReceived got;
  ASSERT_TRUE(Next(cell, MSG_VALUE, &got));
  EXPECT_EQ(got.handle, 1u);
  EXPECT_EQ(got.value.Double(), 42.0) << got.value.ToText();
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("dropped a message on md.BAD: payload is not valid UTF-8 (1 dropped so far)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("unknown Orvex-Type 'decimal'"), std::string::npos);
  EXPECT_NE(text.find("payload is not an int32"), std::string::npos);
  EXPECT_NE(text.find("payload of 1001 bytes exceeds the 1000-byte limit"), std::string::npos);
  EXPECT_NE(text.find("payload is not base64 (5 dropped so far)"), std::string::npos);
  // Nothing else reached the cell.
  EXPECT_NE(cell->Poll(&got, 200), client::kSessionOk);
}

// The program reads its file, lets the command line override it, and refuses a bad
// file with exit code 2 before touching the bus or NATS.
TEST_F(BridgeInputTest, ConfigurationFileAndCommandLineOverrides) {
  const auto write = [&](const std::string& text) {
    const std::string path =
        (std::filesystem::temp_directory_path() / (orvex::test::UniqueName("bridge") + ".conf"))
            .string();
    std::ofstream(path) << text;
    files_.push_back(path);
    return path;
  };
  std::string log;
  platform::ProcessObject* refused =
      StartBridge({"--config", write("servers = nats://127.0.0.1:4222\ncolour = blue\n")}, &log);
  int code = -1;
  ASSERT_TRUE(platform::WaitProcess(refused, 15000, &code));
  EXPECT_EQ(code, 2);

  NatsServer server;
  ASSERT_TRUE(server.Start());
  const std::string base = orvex::test::UniqueName("Local\\BridgeConf");
  StartBus(base);
  // The file names a server nobody runs; the command line's wins.
  StartBridge({"--config",
               write("# desk\nservers = nats://127.0.0.1:1\nbus = " + base +
                     "\nsubject-prefix = cfg.\nsid = CFG\n"),
               "--servers", server.url()},
              &log);
  client::ClientSession* cell = BusClient(base, LinkKind::kV2, "", false);
  cell->Send([](client::BusClient& bus) { return bus.RequestTopic(1, "@CFG:X"); });
  ASSERT_TRUE(WaitUntil([&] { return Subscribed(server, "cfg.X"); })) << ReadFile(log);
  NatsConnection* nats = NatsClient({server.url()});
  nats->Publish("cfg.X", "5");
  client::BusReceived got;
  ASSERT_TRUE(Next(cell, MSG_VALUE, &got));
  EXPECT_EQ(got.value.Double(), 5.0);
}

}  // namespace
}  // namespace orvex::bridge::test
