#include "bridge/nats_parser.h"

#include <gtest/gtest.h>

#include "bridge/nats_connection.h"

namespace orvex::bridge {
namespace {

const std::string kStream =
    "INFO {\"server_id\":\"X\",\"headers\":true}\r\n"
    "PING\r\n"
    "MSG md.ACME 7 5\r\nhello\r\n"
    "MSG md.ACME 7 _INBOX.A.1 0\r\n\r\n"
    "+OK\r\n"
    "HMSG md.X 9 32 35\r\nNATS/1.0\r\nOrvex-Type: double\r\n\r\n1.5\r\n"
    "HMSG _INBOX.A.2 3 34 34\r\nNATS/1.0 404 Message Not Found\r\n\r\n\r\n"
    "-ERR 'Permissions Violation for Subscription to \"x\"'\r\n"
    "PONG\r\n";

void CheckStream(const std::vector<NatsOp>& ops) {
  ASSERT_EQ(ops.size(), 9u);
  EXPECT_EQ(ops[0].kind, NatsOp::Kind::kInfo);
  EXPECT_EQ(ops[0].text, "{\"server_id\":\"X\",\"headers\":true}");
  EXPECT_EQ(ops[1].kind, NatsOp::Kind::kPing);
  EXPECT_EQ(ops[2].kind, NatsOp::Kind::kMsg);
  EXPECT_EQ(ops[2].subject, "md.ACME");
  EXPECT_EQ(ops[2].sid, "7");
  EXPECT_EQ(ops[2].payload, "hello");
  EXPECT_EQ(ops[3].reply, "_INBOX.A.1");
  EXPECT_EQ(ops[3].payload, "");
  EXPECT_EQ(ops[4].kind, NatsOp::Kind::kOk);
  EXPECT_TRUE(ops[5].has_headers);
  ASSERT_NE(ops[5].headers.Find("orvex-type"), nullptr);
  EXPECT_EQ(*ops[5].headers.Find("Orvex-Type"), "double");
  EXPECT_EQ(ops[5].payload, "1.5");
  EXPECT_EQ(ops[6].headers.status, 404);
  EXPECT_EQ(ops[6].headers.description, "Message Not Found");
  EXPECT_EQ(ops[7].kind, NatsOp::Kind::kErr);
  EXPECT_EQ(ops[7].text, "Permissions Violation for Subscription to \"x\"");
  EXPECT_EQ(ops[8].kind, NatsOp::Kind::kPong);
}

// The same stream, whole and cut at every byte, gives the same operations.
TEST(NatsParserTest, ParsesEveryOperationWhereverTheBytesAreCut) {
  NatsParser whole(1 << 20);
  std::vector<NatsOp> ops;
  ASSERT_TRUE(whole.Feed(kStream, &ops)) << whole.error();
  CheckStream(ops);
  for (size_t cut = 1; cut < kStream.size(); ++cut) {
    NatsParser parser(1 << 20);
    ops.clear();
    ASSERT_TRUE(parser.Feed(std::string_view(kStream).substr(0, cut), &ops));
    ASSERT_TRUE(parser.Feed(std::string_view(kStream).substr(cut), &ops)) << cut;
    CheckStream(ops);
  }
  NatsParser bytewise(1 << 20);
  ops.clear();
  for (const char c : kStream) ASSERT_TRUE(bytewise.Feed(std::string_view(&c, 1), &ops));
  CheckStream(ops);
}

TEST(NatsParserTest, OversizedPayloadsAreSkippedAndTheStreamStaysInStep) {
  NatsParser parser(4);
  std::vector<NatsOp> ops;
  ASSERT_TRUE(parser.Feed("MSG a 1 10\r\n0123456789\r\nMSG a 1 2\r\nok\r\n", &ops));
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_TRUE(ops[0].oversized);
  EXPECT_EQ(ops[0].size, 10u);
  EXPECT_EQ(ops[0].payload, "");
  EXPECT_FALSE(ops[1].oversized);
  EXPECT_EQ(ops[1].payload, "ok");
}

TEST(NatsParserTest, ProtocolErrorsAreReportedNotTrusted) {
  const std::vector<std::string> bad = {
      "BOGUS\r\n",
      "MSG a 1\r\n",                      // no size
      "MSG a 1 x\r\n",                    // size not a number
      "MSG a 1 3\r\nabcd\r\n",            // payload longer than announced
      "HMSG a 1 10 5\r\n0123456789\r\n",  // headers larger than the whole
      "HMSG a 1 5 5\r\nHTTP/\r\n",        // not a header block
      std::string(NatsParser::kMaxControlLine + 1, 'I'),
  };
  for (const std::string& input : bad) {
    NatsParser parser(1 << 20);
    std::vector<NatsOp> ops;
    EXPECT_FALSE(parser.Feed(input, &ops)) << input.substr(0, 40);
    EXPECT_FALSE(parser.error().empty());
  }
}

TEST(NatsParserTest, HeaderBlocksAndUrls) {
  const std::string block = FormatNatsHeaders({{"Orvex-Type", "text"}, {"K", "v w"}});
  EXPECT_EQ(block, "NATS/1.0\r\nOrvex-Type: text\r\nK: v w\r\n\r\n");
  NatsHeaders headers;
  ASSERT_TRUE(ParseNatsHeaders(block, &headers));
  ASSERT_EQ(headers.fields.size(), 2u);
  EXPECT_EQ(*headers.Find("k"), "v w");
  EXPECT_EQ(headers.Find("missing"), nullptr);

  NatsServerAddress address;
  ASSERT_TRUE(ParseNatsUrl("nats://127.0.0.1:4333", &address));
  EXPECT_EQ(address.host, "127.0.0.1");
  EXPECT_EQ(address.port, 4333);
  ASSERT_TRUE(ParseNatsUrl("localhost", &address));
  EXPECT_EQ(address.port, 4222);
  for (const char* url : {"", "nats://", "host:0", "host:70000", "host:12x", "tls://h/x"}) {
    EXPECT_FALSE(ParseNatsUrl(url, &address)) << url;
  }
}

}  // namespace
}  // namespace orvex::bridge
