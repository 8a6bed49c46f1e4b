#include "protocol/value_record.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol/wire_format.h"

namespace orvex {
namespace {

// One value of every type that travels, including inline and heap texts.
std::vector<RtdValue> WireSamples() {
  std::vector<RtdValue> out(16);
  out[1].SetInt32(-2147483647 - 1);
  out[2].SetInt64(-81985529216486895LL);
  out[3].SetDouble(-1.25e-300);
  out[4].SetBool(2);
  out[5].SetText("ACME");
  out[6].SetText(std::string(111, 'q'), RtdValueType::kText2);
  out[7].SetWideText(u"\u20ac1");
  out[8].SetWideText(std::u16string(55, u'\u0416'), RtdValueType::kWideText2);
  out[9].SetBytes(std::vector<uint8_t>{0, 1, 0xFF});
  out[10].SetBytes(std::vector<uint8_t>(112, 0xA5));
  out[11].SetDate(19716);
  out[12].SetDate(-9);
  out[13].SetDateTime(4102444800LL);
  out[14].SetText("");
  out[15].SetBytes({});
  return out;
}

TEST(ClassicValueRecord, EveryTypeRoundTrips) {
  for (const RtdValue& v : WireSamples()) {
    std::array<uint8_t, kClassicValueRecordSize> record;
    record.fill(0xEE);
    WriteClassicValueRecord(record, v);
    EXPECT_TRUE(ReadClassicValueRecord(record) == v) << "type " << int(v.TypeCode());
  }
}

TEST(V2ValueRecord, EveryTypeRoundTrips) {
  for (const RtdValue& v : WireSamples()) {
    std::vector<uint8_t> record(V2ValueRecordSize(v));
    ASSERT_EQ(WriteV2ValueRecord(record, v), record.size());
    const RtdValue back = ReadV2ValueRecord(record);
    if (v.Type() == RtdValueType::kBytes && v.Bytes().empty()) {
      // Length 0 means empty whatever the type.
      EXPECT_TRUE(back.IsEmpty());
    } else {
      EXPECT_TRUE(back == v) << "type " << int(v.TypeCode());
    }
  }
}

TEST(V2ValueRecord, LargeValuesRoundTrip) {
  RtdValue text, wide, bytes;
  text.SetText(std::string(70000, 'T'));
  wide.SetWideText(std::u16string(40000, u'w'), RtdValueType::kWideText2);
  bytes.SetBytes(std::vector<uint8_t>(100000, 3));
  for (const RtdValue* v : {&text, &wide, &bytes}) {
    std::vector<uint8_t> record(V2ValueRecordSize(*v));
    ASSERT_GT(record.size(), 4u);
    ASSERT_EQ(WriteV2ValueRecord(record, *v), record.size());
    EXPECT_TRUE(ReadV2ValueRecord(record) == *v);
  }
}

TEST(ClassicValueRecord, Layout) {
  std::array<uint8_t, kClassicValueRecordSize> record;
  RtdValue v;
  v.SetText("ABC");
  WriteClassicValueRecord(record, v);
  EXPECT_EQ(record[0], 5);
  EXPECT_EQ(record[1], 0);
  EXPECT_EQ(wire::LoadU16(&record[2]), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[4]), 4), std::string("ABC\0", 4));

  v.SetWideText(u"\u20ac");
  WriteClassicValueRecord(record, v);
  EXPECT_EQ(record[0], 6);
  EXPECT_EQ(wire::LoadU16(&record[2]), 4);
  EXPECT_EQ(wire::LoadU16(&record[4]), 0x20AC);
  EXPECT_EQ(wire::LoadU16(&record[6]), 0);

  v.SetInt64(0x0102030405060708LL);
  WriteClassicValueRecord(record, v);
  EXPECT_EQ(wire::LoadU16(&record[2]), 8);
  EXPECT_EQ(record[4], 0x08);
  EXPECT_EQ(record[11], 0x01);

  v.SetBool(9);
  WriteClassicValueRecord(record, v);
  EXPECT_EQ(wire::LoadU16(&record[2]), 1);
  EXPECT_EQ(record[4], 9);

  record.fill(0x77);
  WriteClassicValueRecord(record, RtdValue());
  for (uint8_t b : record) ASSERT_EQ(b, 0);  // empty: zeros, and nothing stale left
}

TEST(ClassicValueRecord, NeverSentTypesGoAsEmpty) {
  std::array<uint8_t, kClassicValueRecordSize> record;
  RtdValue list;
  list.SetTextList({std::string("x")});
  WriteClassicValueRecord(record, list);
  EXPECT_EQ(record[0], 0);
  EXPECT_TRUE(ReadClassicValueRecord(record).IsEmpty());
  std::vector<uint8_t> v2(V2ValueRecordSize(list));
  ASSERT_EQ(v2.size(), 4u);
  WriteV2ValueRecord(v2, list);
  EXPECT_EQ(v2, (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(ClassicValueRecord, PartsCarryTheirShareFromTheOffset) {
  std::array<uint8_t, kClassicValueRecordSize> record;
  RtdValue v;
  std::string text(150, 'a');
  text[111] = 'B';
  v.SetText(text);
  EXPECT_EQ(WriteClassicValueRecord(record, v, 0), 111u);
  EXPECT_EQ(wire::LoadU16(&record[2]), 112);
  EXPECT_EQ(record[4 + 111], 0);
  EXPECT_EQ(WriteClassicValueRecord(record, v, 111), 39u);
  EXPECT_EQ(record[4], 'B');
  EXPECT_EQ(wire::LoadU16(&record[2]), 40);

  v.SetWideText(std::u16string(60, u'w'));
  EXPECT_EQ(WriteClassicValueRecord(record, v, 0), 55u);
  EXPECT_EQ(wire::LoadU16(&record[2]), 112);
  EXPECT_EQ(WriteClassicValueRecord(record, v, 55), 5u);
  EXPECT_EQ(wire::LoadU16(&record[2]), 12);

  v.SetBytes(std::vector<uint8_t>(113, 1));
  EXPECT_EQ(WriteClassicValueRecord(record, v, 0), 112u);
  EXPECT_EQ(wire::LoadU16(&record[2]), 112);
}

TEST(ClassicValueRecordHostile, TextWithoutNulEndsAtThePayloadEnd) {
  std::array<uint8_t, kClassicValueRecordSize> record;
  record.fill('z');
  record[0] = 5;
  record[1] = 0;
  wire::StoreU16(&record[2], 9999);
  EXPECT_EQ(ReadClassicValueRecord(record).Text(), std::string(112, 'z'));
  record[0] = 13;
  EXPECT_EQ(ReadClassicValueRecord(record).WideText().size(), 56u);
}

TEST(ClassicValueRecordHostile, ByteCountCutToThePayloadArea) {
  std::array<uint8_t, kClassicValueRecordSize> record{};
  record[0] = 7;
  wire::StoreU16(&record[2], 0xFFFF);
  EXPECT_EQ(ReadClassicValueRecord(record).Bytes().size(), 112u);
  // A record cut short by its message: only what is there is read.
  EXPECT_EQ(ReadClassicValueRecord(std::span(record).first(20)).Bytes().size(), 16u);
}

TEST(ClassicValueRecordHostile, ShortRecordsAndStrangeTypes) {
  std::array<uint8_t, kClassicValueRecordSize> record{};
  record[0] = 2;
  EXPECT_TRUE(ReadClassicValueRecord(std::span(record).first(11)).IsEmpty());
  EXPECT_EQ(ReadClassicValueRecord(std::span(record).first(12)).Type(), RtdValueType::kInt64);
  EXPECT_TRUE(ReadClassicValueRecord(std::span(record).first(3)).IsEmpty());
  for (uint8_t type : {10, 11, 14, 15, 255}) {
    record[0] = type;
    EXPECT_TRUE(ReadClassicValueRecord(record).IsEmpty()) << int(type);
  }
  record[0] = 8;
  wire::StoreU32(&record[4], 0x80000000u);
  EXPECT_EQ(ReadClassicValueRecord(record).Date(), -1);
}

TEST(V2ValueRecordHostile, LengthMustMatchTheNumberTypes) {
  struct Case {
    uint8_t type;
    uint32_t good;
  };
  for (const Case c : {Case{1, 4}, Case{8, 4}, Case{2, 8}, Case{3, 8}, Case{9, 8}, Case{4, 1}}) {
    std::vector<uint8_t> record(4 + 9, 0x11);
    record[0] = c.type;
    for (uint32_t len = 0; len <= 9; ++len) {
      wire::StoreU24(&record[1], len);
      const RtdValue v = ReadV2ValueRecord(record);
      EXPECT_EQ(v.TypeCode(), len == c.good ? c.type : 0) << int(c.type) << " len " << len;
    }
  }
}

TEST(V2ValueRecordHostile, LengthZeroOrUnknownTypeIsEmpty) {
  std::vector<uint8_t> record = {5, 0, 0, 0, 'a', 0};
  EXPECT_TRUE(ReadV2ValueRecord(record).IsEmpty());
  record = {10, 2, 0, 0, 'a', 0};
  EXPECT_TRUE(ReadV2ValueRecord(record).IsEmpty());
  record = {14, 2, 0, 0, 'a', 0};
  EXPECT_TRUE(ReadV2ValueRecord(record).IsEmpty());
  record = {12, 2, 0, 0, 'a', 0};
  EXPECT_EQ(ReadV2ValueRecord(record).Type(), RtdValueType::kText2);
}

TEST(V2ValueRecordHostile, LengthBeyondTheRecordIsEmpty) {
  std::vector<uint8_t> record = {7, 4, 0, 0, 1, 2, 3};
  EXPECT_TRUE(ReadV2ValueRecord(record).IsEmpty());
  record = {7, 0xFF, 0xFF, 0xFF, 1, 2, 3};
  EXPECT_TRUE(ReadV2ValueRecord(record).IsEmpty());
  record = {7, 3, 0, 0, 1, 2, 3};
  EXPECT_EQ(ReadV2ValueRecord(record).Bytes().size(), 3u);
  EXPECT_TRUE(ReadV2ValueRecord(std::span(record).first(3)).IsEmpty());
}

TEST(V2ValueRecordHostile, TextsEndAtTerminatorOrLength) {
  std::vector<uint8_t> record = {5, 3, 0, 0, 'a', 'b', 'c', 'd', 0};
  EXPECT_EQ(ReadV2ValueRecord(record).Text(), "abc");
  record = {6, 5, 0, 0, 'a', 0, 'b', 0, 'c', 0};  // odd length: the half unit is dropped
  EXPECT_EQ(ReadV2ValueRecord(record).WideText(), u"ab");
}

// A publisher's record is passed on as it stands only when re-encoding its value would
// give the same bytes; anything a reader would decode differently is re-encoded.
TEST(V2ValueRecordHostile, OnlyExactRecordsArePassedOnAsTheyStand) {
  for (const RtdValue& v : WireSamples()) {
    std::vector<uint8_t> record(V2ValueRecordSize(v));
    ASSERT_EQ(WriteV2ValueRecord(record, v), record.size());
    const RtdValue read = ReadV2ValueRecord(record);
    // An empty byte string reads as the empty value, whose record differs.
    const bool empty_bytes = v.Type() == RtdValueType::kBytes && v.Bytes().empty();
    EXPECT_EQ(IsCanonicalV2Record(record, read), !empty_bytes) << "type " << int(v.TypeCode());
    record.push_back(0);  // a byte beyond the record
    EXPECT_FALSE(IsCanonicalV2Record(record, ReadV2ValueRecord(record)));
  }
  const std::vector<std::vector<uint8_t>> strange = {
      {5, 4, 0, 0, 'a', 'b', 'c', 'd'},    // text without its terminator
      {5, 4, 0, 0, 'a', 0, 'c', 0},        // text that ends early
      {6, 5, 0, 0, 'a', 0, 'b', 0, 0},     // wide text of odd length
      {6, 6, 0, 0, 'a', 0, 0, 0, 'c', 0},  // wide text that ends early
      {1, 5, 0, 0, 1, 2, 3, 4, 5},         // a number of the wrong length
      {10, 4, 0, 0, 1, 2, 3, 4},           // a type that never travels
      {7, 2, 0, 0, 1, 2, 3},               // bytes shorter than the message
      {0, 1, 0, 0, 9},                     // empty with content
  };
  for (const auto& record : strange) {
    EXPECT_FALSE(IsCanonicalV2Record(record, ReadV2ValueRecord(record))) << int(record[0]);
  }
  // The value must be the one read from the record.
  RtdValue other;
  other.SetInt32(7);
  std::vector<uint8_t> seven(V2ValueRecordSize(other));
  WriteV2ValueRecord(seven, other);
  other.SetInt32(8);
  EXPECT_FALSE(IsCanonicalV2Record(seven, other));
}

TEST(V2ValueRecord, Layout) {
  RtdValue v;
  v.SetWideText(u"AB", RtdValueType::kWideText2);
  std::vector<uint8_t> record(V2ValueRecordSize(v));
  WriteV2ValueRecord(record, v);
  EXPECT_EQ(record, (std::vector<uint8_t>{13, 6, 0, 0, 'A', 0, 'B', 0, 0, 0}));
  v.SetInt32(-2);
  record.assign(V2ValueRecordSize(v), 0);
  WriteV2ValueRecord(record, v);
  EXPECT_EQ(record, (std::vector<uint8_t>{1, 4, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
  std::vector<uint8_t> small(3);
  EXPECT_EQ(WriteV2ValueRecord(small, v), 0u);
}

TEST(V2ValueRecord, LengthLimit) {
  RtdValue v;
  v.SetBytes(std::vector<uint8_t>(kV2ValuePayloadMax, 0));
  EXPECT_EQ(V2ValueRecordSize(v), 4 + kV2ValuePayloadMax);
  v.SetBytes(std::vector<uint8_t>(kV2ValuePayloadMax + 1, 0));
  EXPECT_EQ(V2ValueRecordSize(v), 0u);
  v.SetText(std::string(kV2ValuePayloadMax, 't'));  // + NUL is one too many
  EXPECT_EQ(V2ValueRecordSize(v), 0u);
}

}  // namespace
}  // namespace orvex
