#include "protocol/message_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_reader.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

using Slot = std::array<uint8_t, kClassicSlotSize>;

Slot StaleSlot() {
  Slot s;
  s.fill(0xCD);
  return s;
}

TEST(RegisterReply, HundredBytesExactly) {
  Slot slot = StaleSlot();
  ASSERT_TRUE(WriteMessageHeader(slot, MessageHeader{3, MSG_REGISTER_REPLY, 0x11223344}));
  ASSERT_EQ(WriteRegisterReply(slot, true, "Connected"), 100u);

  std::vector<uint8_t> expected(100, 0);
  const uint8_t head[] = {3, 0, 2, 0, 0x44, 0x33, 0x22, 0x11, 1, 0, 0, 0, 9, 0};
  std::copy(std::begin(head), std::end(head), expected.begin());
  const std::string status = "Connected";
  std::copy(status.begin(), status.end(), expected.begin() + 14);
  const uint8_t version[] = {4, 0, 4, 0};
  std::copy(std::begin(version), std::end(version), expected.begin() + 76);
  const std::string tag = "RTD_VERSION_INFO";
  std::copy(tag.begin(), tag.end(), expected.begin() + 80);
  expected[96] = 460 & 0xFF;
  expected[97] = 460 >> 8;
  EXPECT_EQ(std::vector<uint8_t>(slot.begin(), slot.begin() + 100), expected);
  // The rest of the slot carries nothing stale.
  for (size_t i = 100; i < slot.size(); ++i) ASSERT_EQ(slot[i], 0) << i;
}

TEST(RegisterReply, RefusalAndLongStatus) {
  std::vector<uint8_t> msg(100, 0xCD);
  ASSERT_EQ(WriteRegisterReply(msg, false, std::string(80, 's')), 100u);
  RegisterReply reply;
  ASSERT_TRUE(ReadRegisterReply(msg, &reply));
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.status, std::string(61, 's'));  // TEXT(60) holds 61 characters
  EXPECT_EQ(wire::LoadU16(&msg[12]), 61);
  EXPECT_EQ(reply.version_word, 0x00040004u);
  EXPECT_EQ(reply.version_tag, "RTD_VERSION_INFO");
  EXPECT_EQ(reply.build, 460u);
  std::vector<uint8_t> small(99);
  EXPECT_EQ(WriteRegisterReply(small, true, "Connected"), 0u);
}

TEST(MessageWriter, CountedTextCutsAfterCPlusOneCharacters) {
  Slot slot = StaleSlot();
  ASSERT_EQ(WriteClassicHandleText(slot, MSG_TEXT_A, 0xDEADBEEF, std::string(200, 'x')), 128u);
  EXPECT_EQ(wire::LoadU16(&slot[2]), MSG_TEXT_A);
  EXPECT_EQ(wire::LoadU32(&slot[8]), 0xDEADBEEFu);
  EXPECT_EQ(wire::LoadU16(&slot[12]), 113);
  EXPECT_EQ(slot[14 + 112], 'x');
  EXPECT_EQ(slot[127], 0);

  ASSERT_EQ(WriteDisconnect(slot, std::string(130, 'r')), 128u);
  EXPECT_EQ(wire::LoadU16(&slot[8]), 117);
  EXPECT_EQ(slot[127], 0);
  std::string reason;
  ASSERT_TRUE(ReadDisconnect(slot, &reason));
  EXPECT_EQ(reason, std::string(117, 'r'));
}

TEST(MessageWriter, RefusesCodesOfOtherLayouts) {
  Slot slot = StaleSlot();
  EXPECT_EQ(WriteClassicHandleText(slot, MSG_VALUE, 1, "x"), 0u);
  EXPECT_EQ(WriteHandleOnly(slot, MSG_TOPIC, 1), 0u);
  EXPECT_EQ(WriteHeaderOnly(slot, MSG_REGISTER), 0u);
  std::vector<uint8_t> big(64);
  EXPECT_EQ(WriteV2HandleText(big, MSG_TOPIC, 1, "x"), 0u);
  EXPECT_EQ(WriteV2HandleValue(big, MSG_VALUE, 1, RtdValue()), 0u);
  EXPECT_EQ(slot[8], 0xCD);  // nothing written
}

TEST(MessageWriter, RegisterRoundTrip) {
  Slot slot = StaleSlot();
  RegisterRequest in{"ABCDEFGHIJKL", std::string(70, 'n'), 1, 0};
  ASSERT_EQ(WriteRegister(slot, in), 86u);
  RegisterRequest out;
  ASSERT_TRUE(ReadRegister(slot, &out));
  EXPECT_EQ(out.sid, "ABCDEFGHI");
  EXPECT_EQ(out.client_name, std::string(61, 'n'));
  EXPECT_EQ(out.publisher, 1);
  EXPECT_EQ(out.subscriber, 0);
  EXPECT_EQ(slot[84], 1);
  // The liveness flag word at +20 is zero unless the client holds the mutex.
  EXPECT_FALSE(out.holds_liveness);
  EXPECT_EQ(slot[20], 0);
  in.holds_liveness = true;
  ASSERT_EQ(WriteRegister(slot, in), 86u);
  ASSERT_TRUE(ReadRegister(slot, &out));
  EXPECT_TRUE(out.holds_liveness);
  EXPECT_EQ(slot[20], 1);
  EXPECT_EQ(slot[21], 0);
}

TEST(MessageWriter, MonitorClientAndSmallMessagesRoundTrip) {
  Slot slot = StaleSlot();
  ASSERT_EQ(WriteMonitor(slot, MonitorRequest{1, 0, 1, 0, 1, 1}), 14u);
  MonitorRequest m;
  ASSERT_TRUE(ReadMonitor(slot, &m));
  EXPECT_EQ(m.send_topics + m.follow_topics * 2 + m.send_values * 4 + m.follow_values * 8 +
                m.send_clients * 16 + m.follow_clients * 32,
            1 + 4 + 16 + 32);

  ASSERT_EQ(WriteMonitorReply(slot, MonitorReply{7, 9}), 16u);
  MonitorReply r;
  ASSERT_TRUE(ReadMonitorReply(slot, &r));
  EXPECT_EQ(r.topic_count, 7u);
  EXPECT_EQ(r.client_count, 9u);

  ASSERT_EQ(WriteClientAdded(slot, ClientAdded{513, 1, 1, "SIDTOOLONG", "Publisher One"}), 128u);
  EXPECT_EQ(wire::LoadU16(&slot[12]), 9);  // TEXT(8) keeps 9 characters
  ClientAdded c;
  ASSERT_TRUE(ReadClientAdded(slot, &c));
  EXPECT_EQ(c.client_id, 513);
  EXPECT_EQ(c.sid, "SIDTOOLON");
  EXPECT_EQ(c.client_name, "Publisher One");
  EXPECT_EQ(slot[24 + 2 + 13], 0);

  ASSERT_EQ(WriteClientRemoved(slot, ClientRemoved{4, "Connection dropped"}), 128u);
  ClientRemoved gone;
  ASSERT_TRUE(ReadClientRemoved(slot, &gone));
  EXPECT_EQ(gone.client_id, 4);
  EXPECT_EQ(gone.reason, "Connection dropped");

  std::vector<uint8_t> heartbeat(12);
  ASSERT_EQ(WriteHeartbeat(heartbeat, 0xCAFEF00D), 12u);
  uint32_t tick = 0;
  ASSERT_TRUE(ReadHandle(heartbeat, &tick));
  EXPECT_EQ(tick, 0xCAFEF00Du);

  std::vector<uint8_t> header_only(8);
  ASSERT_EQ(WriteHeaderOnly(header_only, MSG_CLOSE_ALL), 8u);
  EXPECT_EQ(wire::LoadU16(&header_only[2]), MSG_CLOSE_ALL);
}

TEST(MessageWriter, SetDefaultPublisher) {
  std::vector<uint8_t> msg(14, 0xCD);
  ASSERT_EQ(WriteSetDefaultPublisher(msg, "ABC"), 14u);
  EXPECT_EQ(msg[13], 0);
  std::string sid;
  ASSERT_TRUE(ReadSetDefaultPublisher(msg, &sid));
  EXPECT_EQ(sid, "ABC");
  std::vector<uint8_t> empty_sid(11);
  ASSERT_EQ(WriteSetDefaultPublisher(empty_sid, ""), 11u);
  std::vector<uint8_t> small(13);
  EXPECT_EQ(WriteSetDefaultPublisher(small, "ABC"), 0u);
}

TEST(MessageWriter, ClassicRefreshCarriesTheItemCount) {
  Slot slot = StaleSlot();
  const std::vector<uint32_t> ids = {5, 6, 7};
  ASSERT_EQ(WriteClassicRefresh(slot, ids), 128u);
  EXPECT_EQ(wire::LoadU32(&slot[8]), 3u);
  EXPECT_EQ(wire::LoadU32(&slot[20]), 7u);
  EXPECT_EQ(wire::LoadU32(&slot[24]), 0u);
  const std::vector<uint32_t> full(29, 1);
  EXPECT_EQ(WriteClassicRefresh(slot, full), 128u);
  const std::vector<uint32_t> too_many(30, 1);
  EXPECT_EQ(WriteClassicRefresh(slot, too_many), 0u);
}

TEST(MessageWriter, V2RefreshCarriesTheByteCount) {
  const std::vector<uint32_t> ids = {10, 20, 30};
  std::vector<uint8_t> msg(V2RefreshSize(ids.size()));
  ASSERT_EQ(msg.size(), 24u);
  ASSERT_EQ(WriteV2Refresh(msg, ids), 24u);
  EXPECT_EQ(wire::LoadU16(&msg[2]), MSG_REFRESH_V2);
  EXPECT_EQ(wire::LoadU32(&msg[8]), 12u);
  RefreshItems back;
  ASSERT_TRUE(ReadV2Refresh(msg, &back));
  EXPECT_EQ(back, ids);
  std::vector<uint8_t> none(V2RefreshSize(0));
  ASSERT_EQ(WriteV2Refresh(none, {}), 12u);
  EXPECT_EQ(wire::LoadU32(&none[8]), 0u);
}

TEST(MessageWriter, V2TextHasExactSize) {
  std::vector<uint8_t> msg(V2HandleTextSize("@ABC:ACME.LAST"));
  ASSERT_EQ(msg.size(), 16u + 15u);
  ASSERT_EQ(WriteV2HandleText(msg, MSG_TOPIC_V2, 77, "@ABC:ACME.LAST"), msg.size());
  EXPECT_EQ(wire::LoadU32(&msg[12]), 15u);
  EXPECT_EQ(msg.back(), 0);
  HandleText t;
  ASSERT_TRUE(ReadV2HandleText(msg, &t));
  EXPECT_EQ(t.handle, 77u);
  EXPECT_EQ(t.text, "@ABC:ACME.LAST");
}

TEST(MessageWriter, V2ValueHasExactSize) {
  RtdValue v;
  v.SetText(std::string(300, 'v'));
  std::vector<uint8_t> msg(V2HandleValueSize(v));
  ASSERT_EQ(msg.size(), 16u + 301u);
  ASSERT_EQ(WriteV2HandleValue(msg, MSG_TOPIC_VALUE_V2, 12, v), msg.size());
  EXPECT_EQ(msg[12], 5);
  EXPECT_EQ(wire::LoadU24(&msg[13]), 301u);
  HandleValue hv;
  ASSERT_TRUE(ReadV2HandleValue(msg, &hv));
  EXPECT_EQ(hv.handle, 12u);
  EXPECT_TRUE(hv.value == v);
}

TEST(MessageHeader, ReadWriteAndStamp) {
  std::vector<uint8_t> msg(8);
  ASSERT_TRUE(WriteMessageHeader(msg, MessageHeader{0xBEEF, MSG_VALUE, 0xFFFFFFFE}));
  ASSERT_TRUE(StampConnectionId(msg, 42));
  MessageHeader h;
  ASSERT_TRUE(ReadMessageHeader(msg, &h));
  EXPECT_EQ(h.connection_id, 42);
  EXPECT_EQ(h.code, MSG_VALUE);
  EXPECT_EQ(h.tick, 0xFFFFFFFEu);
  EXPECT_FALSE(ReadMessageHeader(std::span(msg).first(7), &h));
  EXPECT_FALSE(StampConnectionId(std::span(msg).first(7), 1));
}

TEST(MessageCodes, FixedSizes) {
  EXPECT_EQ(FixedMessageSize(MSG_REGISTER_REPLY), 100u);
  EXPECT_EQ(FixedMessageSize(MSG_HEARTBEAT), 12u);
  EXPECT_EQ(FixedMessageSize(MSG_MONITOR), 14u);
  EXPECT_EQ(FixedMessageSize(MSG_MONITOR_REPLY), 16u);
  EXPECT_EQ(FixedMessageSize(MSG_TOPIC_VALUE_LAST), 128u);
  EXPECT_EQ(FixedMessageSize(MSG_VALUE_V2), 0u);
  EXPECT_EQ(FixedMessageSize(4), 0u);
  EXPECT_TRUE(IsV2Code(MSG_TOPIC_VALUE_V2));
  EXPECT_FALSE(IsV2Code(MSG_TOPIC_VALUE_LAST));
}

}  // namespace
}  // namespace orvex
