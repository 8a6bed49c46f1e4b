#include "protocol/split_joiner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvex {
namespace {

RtdValue Text(std::string_view s, RtdValueType kind = RtdValueType::kText) {
  RtdValue v;
  v.SetText(s, kind);
  return v;
}

TEST(SplitJoiner, TopicTextPartsJoinAndTheBufferEmpties) {
  SplitJoiner j;
  j.AppendTopicText(1, std::string(113, 'a'));
  j.AppendTopicText(1, std::string(24, 'b'));
  EXPECT_EQ(j.TakeTopicText(), std::string(113, 'a') + std::string(24, 'b'));
  EXPECT_TRUE(j.PendingTopicText().empty());
  j.AppendTopicText(1, std::string_view("c\0d", 3));
  EXPECT_EQ(j.TakeTopicText(), "c");
}

TEST(SplitJoiner, SameTextTypeAppends) {
  SplitJoiner j;
  j.AppendValue(1, Text(std::string(111, 'x')));
  j.AppendValue(1, Text("y"));
  const RtdValue v = j.TakeValue();
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  EXPECT_EQ(v.Text(), std::string(111, 'x') + "y");
  EXPECT_TRUE(j.PendingValue().IsEmpty());
}

TEST(SplitJoiner, DifferentTypeRestartsTheBuffer) {
  SplitJoiner j;
  j.AppendValue(1, Text("left over from before"));
  j.AppendValue(1, Text("new", RtdValueType::kText2));
  EXPECT_EQ(j.PendingValue().Type(), RtdValueType::kText2);
  EXPECT_EQ(j.PendingValue().Text(), "new");
  RtdValue number;
  number.SetInt64(5);
  j.AppendValue(1, number);
  EXPECT_TRUE(j.PendingValue() == number);
  const std::vector<uint8_t> a = {1, 2}, b = {3};
  RtdValue bytes;
  bytes.SetBytes(a);
  j.AppendValue(1, bytes);
  bytes.SetBytes(b);
  j.AppendValue(1, bytes);
  const auto joined = j.TakeValue();
  EXPECT_EQ(std::vector<uint8_t>(joined.Bytes().begin(), joined.Bytes().end()),
            (std::vector<uint8_t>{1, 2, 3}));
}

TEST(SplitJoiner, PartsUnderAnotherHandleOrClearedAreDropped) {
  SplitJoiner j;
  j.AppendTopicText(1, "aborted");
  j.AppendTopicText(2, "fresh");
  EXPECT_EQ(j.TakeTopicText(), "fresh");
  j.AppendTopicText(3, "cut");
  j.ClearTopicText();
  j.AppendTopicText(3, "anew");
  EXPECT_EQ(j.TakeTopicText(), "anew");

  j.AppendValue(1, Text("other topic"));
  j.AppendValue(2, Text("mine"));
  EXPECT_EQ(j.TakeValue().Text(), "mine");
  j.AppendValue(4, Text("cut"));
  j.ClearValue();
  j.AppendValue(4, Text("anew"));
  EXPECT_EQ(j.TakeValue().Text(), "anew");
  // The two buffers are independent: a cleared value keeps the text's parts.
  j.AppendTopicText(5, "kept");
  j.ClearValue();
  j.AppendTopicText(5, "+more");
  EXPECT_EQ(j.TakeTopicText(), "kept+more");
}

TEST(SplitJoiner, JoinedSizeIsCapped) {
  SplitJoiner j;
  const std::string chunk(1 << 20, 'p');
  for (int i = 0; i < 17; ++i) j.AppendTopicText(1, chunk);
  EXPECT_EQ(j.PendingTopicText().size(), SplitJoiner::kMaxJoinedBytes);

  RtdValue part;
  part.SetWideText(std::u16string(1 << 20, u'w'));
  for (int i = 0; i < 9; ++i) j.AppendValue(1, part);
  EXPECT_EQ(j.PendingValue().WideText().size(), SplitJoiner::kMaxJoinedBytes / 2);
  part.SetBytes(std::vector<uint8_t>(1 << 20, 1));
  for (int i = 0; i < 17; ++i) j.AppendValue(1, part);
  EXPECT_EQ(j.PendingValue().Bytes().size(), SplitJoiner::kMaxJoinedBytes);
}

}  // namespace
}  // namespace orvex
