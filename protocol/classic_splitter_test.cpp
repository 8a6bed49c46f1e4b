#include "protocol/classic_splitter.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "protocol/message_reader.h"
#include "protocol/split_joiner.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

// One message as a splitter produced it.
struct Sent {
  uint16_t code;
  std::array<uint8_t, kClassicSlotSize> slot;
};

template <typename Splitter>
std::vector<Sent> SendAll(Splitter& splitter) {
  std::vector<Sent> out;
  while (!splitter.Done()) {
    Sent s;
    s.slot.fill(0xCD);
    s.code = splitter.NextCode();
    EXPECT_EQ(splitter.WriteNext(s.slot), kClassicSlotSize);
    EXPECT_EQ(wire::LoadU16(&s.slot[2]), s.code);
    out.push_back(s);
    if (out.size() > 1000) break;
  }
  return out;
}

std::string Letters(size_t n) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(ClassicTextSplitter, TopicOf250CharactersGoesAs113_113_24) {
  const std::string topic = Letters(250);
  ClassicTextSplitter splitter(kTopicSplit, 0x01020304, topic);
  const auto sent = SendAll(splitter);
  ASSERT_EQ(sent.size(), 3u);
  const uint16_t codes[] = {MSG_TOPIC_PART, MSG_TOPIC_PART, MSG_TOPIC_LAST};
  const uint16_t counts[] = {113, 113, 24};
  std::string joined;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].code, codes[i]);
    EXPECT_EQ(wire::LoadU32(&sent[i].slot[8]), 0x01020304u);
    EXPECT_EQ(wire::LoadU16(&sent[i].slot[12]), counts[i]);
    HandleText t;
    ASSERT_TRUE(ReadClassicHandleText(sent[i].slot, &t));
    EXPECT_EQ(t.text.size(), counts[i]);
    joined += t.text;
  }
  EXPECT_EQ(joined, topic);
}

TEST(ClassicTextSplitter, UpTo113CharactersIsOneWholeMessage) {
  for (size_t n : {0, 1, 112, 113}) {
    ClassicTextSplitter splitter(kTopicAddedSplit, 9, Letters(n));
    const auto sent = SendAll(splitter);
    ASSERT_EQ(sent.size(), 1u) << n;
    EXPECT_EQ(sent[0].code, MSG_TOPIC_ADDED);
  }
  ClassicTextSplitter two(kTopicAddedSplit, 9, Letters(226));
  const auto sent = SendAll(two);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].code, MSG_TOPIC_ADDED_PART);
  EXPECT_EQ(sent[1].code, MSG_TOPIC_ADDED_LAST);
  EXPECT_EQ(wire::LoadU16(&sent[1].slot[12]), 113);
}

TEST(ClassicValueSplitter, TextOf111FitsAnd112Splits) {
  RtdValue v;
  v.SetText(Letters(111));
  ClassicValueSplitter fits(kValueSplit, 5, v);
  auto sent = SendAll(fits);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, MSG_VALUE);
  EXPECT_EQ(wire::LoadU16(&sent[0].slot[14]), 112);

  v.SetText(Letters(112));
  ClassicValueSplitter splits(kValueSplit, 5, v);
  sent = SendAll(splits);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].code, MSG_VALUE_PART);
  EXPECT_EQ(sent[1].code, MSG_VALUE_LAST);
  HandleValue first, last;
  ASSERT_TRUE(ReadClassicHandleValue(sent[0].slot, &first));
  ASSERT_TRUE(ReadClassicHandleValue(sent[1].slot, &last));
  EXPECT_EQ(first.value.Text(), Letters(111));
  EXPECT_EQ(last.value.Text(), "h");  // the 112th letter
  EXPECT_EQ(last.handle, 5u);
}

// Only the first part of a split value says that it starts one; a receiver that has
// the beginning of an abandoned value drops it there instead of joining the two.
TEST(ClassicValueSplitter, TheFirstPartOfASplitValueIsMarkedAndStartsTheJoinAfresh) {
  RtdValue whole, split;
  whole.SetText(Letters(111));
  split.SetText(Letters(300));
  ClassicValueSplitter one(kValueSplit, 5, whole);
  ClassicValueSplitter parts(kValueSplit, 5, split);
  const auto one_sent = SendAll(one);
  const auto parts_sent = SendAll(parts);
  ASSERT_EQ(one_sent.size(), 1u);
  ASSERT_EQ(parts_sent.size(), 3u);
  HandleValue hv;
  ASSERT_TRUE(ReadClassicHandleValue(one_sent[0].slot, &hv));
  EXPECT_FALSE(hv.starts);
  SplitJoiner joiner;
  joiner.AppendValue(5, whole);  // the beginning of an abandoned value
  for (size_t i = 0; i < parts_sent.size(); ++i) {
    ASSERT_TRUE(ReadClassicHandleValue(parts_sent[i].slot, &hv));
    EXPECT_EQ(hv.starts, i == 0) << i;
    joiner.AppendValue(hv.handle, hv.value, hv.starts);
  }
  EXPECT_EQ(joiner.TakeValue().Text(), Letters(300));
}

TEST(ClassicValueSplitter, WideTextSplitsAt55Units) {
  std::u16string text(56 + 55 + 3, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(0x400 + i);
  RtdValue v;
  v.SetWideText(text, RtdValueType::kWideText2);
  ClassicValueSplitter splitter(kTopicValueSplit, 77, v);
  const auto sent = SendAll(splitter);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].code, MSG_TOPIC_VALUE_PART);
  EXPECT_EQ(sent[1].code, MSG_TOPIC_VALUE_PART);
  EXPECT_EQ(sent[2].code, MSG_TOPIC_VALUE_LAST);
  SplitJoiner joiner;
  const size_t units[] = {55, 55, 4};
  for (size_t i = 0; i < 3; ++i) {
    HandleValue hv;
    ASSERT_TRUE(ReadClassicHandleValue(sent[i].slot, &hv));
    EXPECT_EQ(hv.value.Type(), RtdValueType::kWideText2);
    EXPECT_EQ(hv.value.WideText().size(), units[i]);
    joiner.AppendValue(hv.handle, hv.value);
  }
  EXPECT_TRUE(joiner.TakeValue() == v);

  v.SetWideText(std::u16string(55, u'x'));
  ClassicValueSplitter fits(kValueSplit, 1, v);
  EXPECT_EQ(SendAll(fits).size(), 1u);
}

TEST(ClassicValueSplitter, BytesSplitAt112) {
  std::vector<uint8_t> bytes(225);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  RtdValue v;
  v.SetBytes(bytes);
  ClassicValueSplitter splitter(kValueSplit, 3, v);
  const auto sent = SendAll(splitter);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(wire::LoadU16(&sent[0].slot[14]), 112);
  EXPECT_EQ(wire::LoadU16(&sent[1].slot[14]), 112);
  EXPECT_EQ(wire::LoadU16(&sent[2].slot[14]), 1);
  EXPECT_EQ(sent[2].slot[16], 224);

  v.SetBytes(std::vector<uint8_t>(112, 9));
  ClassicValueSplitter fits(kValueSplit, 3, v);
  EXPECT_EQ(SendAll(fits).size(), 1u);
}

TEST(ClassicValueSplitter, NumbersAndEmptyGoWhole) {
  RtdValue v;
  ClassicValueSplitter empty(kValueSplit, 1, v);
  auto sent = SendAll(empty);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, MSG_VALUE);
  for (size_t i = 12; i < 16; ++i) EXPECT_EQ(sent[0].slot[i], 0);

  v.SetDouble(3.25);
  ClassicValueSplitter number(kTopicValueSplit, 1, v);
  sent = SendAll(number);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, MSG_TOPIC_VALUE);
  HandleValue hv;
  ASSERT_TRUE(ReadClassicHandleValue(sent[0].slot, &hv));
  EXPECT_EQ(hv.value.Double(), 3.25);
}

// Each part must cost the same however much text follows it: 8 MB took minutes when
// every part looked through the rest of the text, and takes milliseconds in parts.
TEST(ClassicTextSplitter, SplitsALongTextInLinearTime) {
  const std::string topic = Letters(8u << 20);
  const auto start = std::chrono::steady_clock::now();
  ClassicTextSplitter splitter(kTopicSplit, 7, topic);
  std::array<uint8_t, kClassicSlotSize> slot{};
  size_t parts = 0;
  uint64_t checksum = 0;
  while (!splitter.Done()) {
    ASSERT_EQ(splitter.WriteNext(slot), kClassicSlotSize);
    checksum += wire::LoadU16(&slot[12]);
    ++parts;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(parts, (topic.size() + 112) / 113);
  EXPECT_EQ(checksum, topic.size());
  // Generous for a loaded machine or an emulator; the quadratic split needed far more.
  EXPECT_LT(elapsed, std::chrono::seconds(3));
}

TEST(ClassicSplitter, StopsWhenDoneAndRefusesShortSlots) {
  ClassicTextSplitter splitter(kTopicSplit, 1, "x");
  std::array<uint8_t, 127> short_slot{};
  EXPECT_EQ(splitter.WriteNext(short_slot), 0u);
  EXPECT_FALSE(splitter.Done());
  std::array<uint8_t, 128> slot{};
  EXPECT_EQ(splitter.WriteNext(slot), 128u);
  EXPECT_TRUE(splitter.Done());
  EXPECT_EQ(splitter.WriteNext(slot), 0u);
}

}  // namespace
}  // namespace orvex
