#include "tools/vantel_monitor.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "protocol/message_codes.h"
#include "protocol/message_writer.h"

namespace orvex::vantel {
namespace {

client::BusReceived Message(uint16_t code, uint32_t handle, std::string text = "") {
  client::BusReceived m;
  m.code = code;
  m.handle = handle;
  m.text = std::move(text);
  return m;
}

client::BusReceived Value(uint16_t code, uint32_t id, int32_t v) {
  client::BusReceived m = Message(code, id);
  m.value.SetInt32(v);
  return m;
}

TEST(MonitorView, FollowsATopicFromAdditionToRemoval) {
  MonitorView view;
  EXPECT_EQ(view.Apply(Message(MSG_TOPIC_ADDED, 4, "@ABC:ACME.LAST")), "topic+ 4 @ABC:ACME.LAST");
  EXPECT_EQ(view.Apply(Value(MSG_TOPIC_VALUE, 4, 17)), "value 4 @ABC:ACME.LAST int32 17");
  // The V2 forms land in the same place.
  EXPECT_EQ(view.Apply(Value(MSG_TOPIC_VALUE_V2, 4, 18)), "value 4 @ABC:ACME.LAST int32 18");
  ASSERT_EQ(view.topics().count(4), 1u);
  EXPECT_EQ(view.topics().at(4).updates, 2u);
  EXPECT_EQ(view.topics().at(4).value.Int32(), 18);
  EXPECT_EQ(view.Apply(Message(MSG_TOPIC_REMOVED, 4)), "topic- 4 @ABC:ACME.LAST");
  EXPECT_TRUE(view.topics().empty());
  // Removing it twice does not resurrect or crash anything.
  EXPECT_EQ(view.Apply(Message(MSG_TOPIC_REMOVED, 4)), "topic- 4 ");
  EXPECT_TRUE(view.topics().empty());
}

TEST(MonitorView, KeepsValuesOfTopicsNotYetAnnouncedAndNamesThemLater) {
  MonitorView view;
  view.Apply(Value(MSG_TOPIC_VALUE, 9, 1));
  ASSERT_EQ(view.topics().count(9), 1u);
  EXPECT_EQ(view.topics().at(9).name, "");
  view.Apply(Message(MSG_TOPIC_ADDED_V2, 9, "X"));
  EXPECT_EQ(view.topics().at(9).name, "X");
  EXPECT_EQ(view.topics().at(9).value.Int32(), 1);
}

TEST(MonitorView, ReadsClientFlagsAndNameFromTheMessageBytes) {
  ClientAdded added;
  added.client_id = 12;
  added.publisher = 1;
  added.subscriber = 0;
  added.sid = "ABC";
  added.client_name = "feed handler";
  std::array<uint8_t, kClassicSlotSize> slot{};
  const size_t size = WriteClientAdded(slot, added);
  ASSERT_GT(size, 0u);
  client::BusReceived m = Message(MSG_CLIENT_ADDED, 12, "ABC");
  m.bytes.assign(slot.begin(), slot.begin() + size);
  MonitorView view;
  EXPECT_EQ(view.Apply(m), "client+ 12 P- ABC feed handler");
  ASSERT_EQ(view.clients().count(12), 1u);
  EXPECT_TRUE(view.clients().at(12).publisher);
  EXPECT_FALSE(view.clients().at(12).subscriber);
  EXPECT_EQ(view.Apply(Message(MSG_CLIENT_REMOVED, 12, "Client disconnected")),
            "client- 12 Client disconnected");
  EXPECT_TRUE(view.clients().empty());
}

TEST(MonitorView, FallsBackToTheSidWhenTheBytesAreMissing) {
  MonitorView view;
  EXPECT_EQ(view.Apply(Message(MSG_CLIENT_ADDED, 3, "XYZ")), "client+ 3 -- XYZ ");
  EXPECT_EQ(view.clients().at(3).sid, "XYZ");
}

TEST(MonitorView, RecordsTheReplyCountsAndIgnoresOtherCodes) {
  MonitorView view;
  client::BusReceived reply = Message(MSG_MONITOR_REPLY, 2);
  reply.items = {2, 5};
  EXPECT_EQ(view.Apply(reply), "monitor topics=2 clients=5");
  EXPECT_EQ(view.reported_topics(), 2u);
  EXPECT_EQ(view.reported_clients(), 5u);
  // A reply without its two counts keeps the last ones rather than reading past the end.
  client::BusReceived broken = Message(MSG_MONITOR_REPLY, 0);
  EXPECT_EQ(view.Apply(broken), "monitor topics=2 clients=5");
  EXPECT_EQ(view.Apply(Value(MSG_VALUE, 1, 1)), "");
  EXPECT_TRUE(view.topics().empty());
}

TEST(MonitorView, TableFitsTheWidthAndListsEverything) {
  MonitorView view;
  view.Apply(Message(MSG_TOPIC_ADDED, 1, std::string(300, 'n')));
  client::BusReceived long_value = Message(MSG_TOPIC_VALUE, 1);
  long_value.value.SetText(std::string(500, 'v'));
  view.Apply(long_value);
  view.Apply(Message(MSG_TOPIC_ADDED, 2, "SHORT"));
  view.Apply(Message(MSG_CLIENT_ADDED, 7, "SIDSEVEN"));
  for (size_t width : {40u, 80u, 132u}) {
    const std::string table = view.RenderTable(width);
    std::istringstream in(table);
    std::string line;
    size_t lines = 0;
    while (std::getline(in, line)) {
      EXPECT_LE(line.size(), width) << line;
      ++lines;
    }
    // Header, blank, topic header, two topics, blank, client header, one client.
    EXPECT_EQ(lines, 8u);
    EXPECT_NE(table.find("SHORT"), std::string::npos);
    EXPECT_NE(table.find("SIDSEVEN"), std::string::npos);
    EXPECT_NE(table.find('~'), std::string::npos);  // the cut mark of the long texts
  }
  // Narrower than the columns need: still no line wider than the floor of 40.
  std::istringstream narrow(view.RenderTable(5));
  std::string line;
  while (std::getline(narrow, line)) EXPECT_LE(line.size(), 40u);
}

}  // namespace
}  // namespace orvex::vantel
