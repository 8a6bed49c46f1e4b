// Readers facing messages a broken or hostile peer may send.
#include "protocol/message_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol/message_codes.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

using Slot = std::array<uint8_t, kClassicSlotSize>;

Slot Filled(uint8_t byte) {
  Slot s;
  s.fill(byte);
  return s;
}

TEST(ReaderHostile, TextWithoutNulEndsAtItsField) {
  Slot slot = Filled('A');
  HandleText t;
  ASSERT_TRUE(ReadClassicHandleText(slot, &t));
  // TEXT(112) at +12: the characters occupy +14 to the end of the slot.
  EXPECT_EQ(t.text, std::string(114, 'A'));

  RegisterRequest r;
  ASSERT_TRUE(ReadRegister(slot, &r));
  EXPECT_EQ(r.sid, std::string(10, 'A'));          // +10 up to +20
  EXPECT_EQ(r.client_name, std::string(62, 'A'));  // +22 up to +84
  EXPECT_EQ(r.publisher, 'A');

  ClientAdded c;
  ASSERT_TRUE(ReadClientAdded(slot, &c));
  EXPECT_EQ(c.sid, std::string(10, 'A'));  // TEXT(8) at +12 ends at +24
  EXPECT_EQ(c.client_name, std::string(62, 'A'));

  std::string reason;
  ASSERT_TRUE(ReadDisconnect(slot, &reason));
  EXPECT_EQ(reason, std::string(118, 'A'));
}

TEST(ReaderHostile, CountFieldIsIgnoredForTexts) {
  Slot slot = Filled(0);
  wire::StoreU16(&slot[12], 60000);
  slot[14] = 'h';
  slot[15] = 'i';
  HandleText t;
  ASSERT_TRUE(ReadClassicHandleText(slot, &t));
  EXPECT_EQ(t.text, "hi");
}

TEST(ReaderHostile, TextsCutAtTheEndOfAShortRecord) {
  // A V2 link can deliver any classic code with any length.
  std::vector<uint8_t> msg(20, 'B');
  HandleText t;
  ASSERT_TRUE(ReadClassicHandleText(msg, &t));
  EXPECT_EQ(t.text, std::string(6, 'B'));
  std::string sid;
  ASSERT_TRUE(ReadSetDefaultPublisher(msg, &sid));
  EXPECT_EQ(sid, std::string(10, 'B'));
  std::string reason;
  ASSERT_TRUE(ReadDisconnect(std::span(msg).first(9), &reason));
  EXPECT_EQ(reason, "");
}

TEST(ReaderHostile, TooShortForFixedFields) {
  std::vector<uint8_t> msg(128, 1);
  RegisterRequest r;
  EXPECT_FALSE(ReadRegister(std::span(msg).first(85), &r));
  EXPECT_TRUE(ReadRegister(std::span(msg).first(86), &r));
  RegisterReply reply;
  EXPECT_FALSE(ReadRegisterReply(std::span(msg).first(99), &reply));
  uint32_t handle;
  EXPECT_FALSE(ReadHandle(std::span(msg).first(11), &handle));
  HandleValue hv;
  EXPECT_FALSE(ReadClassicHandleValue(std::span(msg).first(11), &hv));
  EXPECT_FALSE(ReadV2HandleValue(std::span(msg).first(11), &hv));
  HandleText ht;
  EXPECT_FALSE(ReadV2HandleText(std::span(msg).first(15), &ht));
  RefreshItems items;
  EXPECT_FALSE(ReadClassicRefresh(std::span(msg).first(11), &items));
  EXPECT_FALSE(ReadV2Refresh(std::span(msg).first(11), &items));
  std::string sid;
  EXPECT_FALSE(ReadSetDefaultPublisher(std::span(msg).first(10), &sid));
  MonitorRequest m;
  EXPECT_FALSE(ReadMonitor(std::span(msg).first(13), &m));
  MonitorReply mr;
  EXPECT_FALSE(ReadMonitorReply(std::span(msg).first(15), &mr));
  ClientAdded ca;
  EXPECT_FALSE(ReadClientAdded(std::span(msg).first(11), &ca));
  ClientRemoved cr;
  EXPECT_FALSE(ReadClientRemoved(std::span(msg).first(9), &cr));
  std::string reason;
  EXPECT_FALSE(ReadDisconnect(std::span(msg).first(7), &reason));
}

TEST(ReaderHostile, ClassicRefreshCountCutTo29) {
  Slot slot = Filled(0);
  for (uint32_t i = 0; i < 29; ++i) wire::StoreU32(&slot[12 + 4 * i], 100 + i);
  wire::StoreU32(&slot[8], 0xFFFFFFFF);
  RefreshItems items;
  ASSERT_TRUE(ReadClassicRefresh(slot, &items));
  ASSERT_EQ(items.size(), 29u);
  EXPECT_EQ(items[28], 128u);
  wire::StoreU32(&slot[8], 30);
  ASSERT_TRUE(ReadClassicRefresh(slot, &items));
  EXPECT_EQ(items.size(), 29u);
  // A short record holds fewer items than the count claims.
  ASSERT_TRUE(ReadClassicRefresh(std::span(slot).first(23), &items));
  EXPECT_EQ(items, (RefreshItems{100, 101}));
  wire::StoreU32(&slot[8], 2);
  ASSERT_TRUE(ReadClassicRefresh(slot, &items));
  EXPECT_EQ(items, (RefreshItems{100, 101}));
}

TEST(ReaderHostile, V2RefreshByteCountCutToTheRecord) {
  std::vector<uint8_t> msg(12 + 3 * 4 + 2, 0);
  for (uint32_t i = 0; i < 3; ++i) wire::StoreU32(&msg[12 + 4 * i], 7 + i);
  wire::StoreU32(&msg[8], 400);
  RefreshItems items;
  ASSERT_TRUE(ReadV2Refresh(msg, &items));
  EXPECT_EQ(items, (RefreshItems{7, 8, 9}));
  wire::StoreU32(&msg[8], 12);  // 12 at +8 asks for 3 handles
  ASSERT_TRUE(ReadV2Refresh(msg, &items));
  EXPECT_EQ(items.size(), 3u);
  wire::StoreU32(&msg[8], 7);  // not a multiple of 4: the partial item is dropped
  ASSERT_TRUE(ReadV2Refresh(msg, &items));
  EXPECT_EQ(items, (RefreshItems{7}));
}

TEST(ReaderHostile, LongTextLengthCutToTheRecord) {
  std::vector<uint8_t> msg = {0, 0, 64, 0,    0,    0,    0,    0,   5,
                              0, 0, 0,  0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
  HandleText t;
  ASSERT_TRUE(ReadV2HandleText(msg, &t));
  EXPECT_EQ(t.handle, 5u);
  EXPECT_EQ(t.text, "ab");
  wire::StoreU32(&msg[12], 1);  // N smaller than the text: the text ends at N
  ASSERT_TRUE(ReadV2HandleText(msg, &t));
  EXPECT_EQ(t.text, "a");
  wire::StoreU32(&msg[12], 0);
  ASSERT_TRUE(ReadV2HandleText(msg, &t));
  EXPECT_EQ(t.text, "");
}

TEST(ReaderHostile, MalformedV2ValueStillDeliversTheHandle) {
  std::vector<uint8_t> msg(20, 0);
  wire::StoreU32(&msg[8], 99);
  msg[12] = 1;
  wire::StoreU24(&msg[13], 3);  // an int32 of 3 bytes breaks the type rule
  HandleValue hv;
  hv.value.SetText("stale");
  ASSERT_TRUE(ReadV2HandleValue(msg, &hv));
  EXPECT_EQ(hv.handle, 99u);
  EXPECT_TRUE(hv.value.IsEmpty());
}

TEST(ReaderHostile, ClassicValueInAShortRecord) {
  std::vector<uint8_t> msg(18, 0);
  wire::StoreU32(&msg[8], 1);
  msg[12] = 3;  // a double needs 8 payload bytes; only 2 are there
  HandleValue hv;
  ASSERT_TRUE(ReadClassicHandleValue(msg, &hv));
  EXPECT_TRUE(hv.value.IsEmpty());
  msg[12] = 5;
  msg[16] = 'o';
  msg[17] = 'k';
  ASSERT_TRUE(ReadClassicHandleValue(msg, &hv));
  EXPECT_EQ(hv.value.Text(), "ok");
}

}  // namespace
}  // namespace orvex
