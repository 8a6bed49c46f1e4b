#include "bus/split_joiner.h"

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
  j.AppendTopicText(std::string(113, 'a'));
  j.AppendTopicText(std::string(24, 'b'));
  EXPECT_EQ(j.TakeTopicText(), std::string(113, 'a') + std::string(24, 'b'));
  EXPECT_TRUE(j.PendingTopicText().empty());
  j.AppendTopicText(std::string_view("c\0d", 3));
  EXPECT_EQ(j.TakeTopicText(), "c");
}

TEST(SplitJoiner, SameTextTypeAppends) {
  SplitJoiner j;
  j.AppendValue(Text(std::string(111, 'x')));
  j.AppendValue(Text("y"));
  const RtdValue v = j.TakeValue();
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  EXPECT_EQ(v.Text(), std::string(111, 'x') + "y");
  EXPECT_TRUE(j.PendingValue().IsEmpty());
}

TEST(SplitJoiner, DifferentTypeRestartsTheBuffer) {
  SplitJoiner j;
  j.AppendValue(Text("left over from before"));
  j.AppendValue(Text("new", RtdValueType::kText2));
  EXPECT_EQ(j.PendingValue().Type(), RtdValueType::kText2);
  EXPECT_EQ(j.PendingValue().Text(), "new");
  RtdValue number;
  number.SetInt64(5);
  j.AppendValue(number);
  EXPECT_TRUE(j.PendingValue() == number);
  const std::vector<uint8_t> a = {1, 2}, b = {3};
  RtdValue bytes;
  bytes.SetBytes(a);
  j.AppendValue(bytes);
  bytes.SetBytes(b);
  j.AppendValue(bytes);
  const auto joined = j.TakeValue();
  EXPECT_EQ(std::vector<uint8_t>(joined.Bytes().begin(), joined.Bytes().end()),
            (std::vector<uint8_t>{1, 2, 3}));
}

TEST(SplitJoiner, JoinedSizeIsCapped) {
  SplitJoiner j;
  const std::string chunk(1 << 20, 'p');
  for (int i = 0; i < 17; ++i) j.AppendTopicText(chunk);
  EXPECT_EQ(j.PendingTopicText().size(), SplitJoiner::kMaxJoinedBytes);

  RtdValue part;
  part.SetWideText(std::u16string(1 << 20, u'w'));
  for (int i = 0; i < 9; ++i) j.AppendValue(part);
  EXPECT_EQ(j.PendingValue().WideText().size(), SplitJoiner::kMaxJoinedBytes / 2);
  part.SetBytes(std::vector<uint8_t>(1 << 20, 1));
  for (int i = 0; i < 17; ++i) j.AppendValue(part);
  EXPECT_EQ(j.PendingValue().Bytes().size(), SplitJoiner::kMaxJoinedBytes);
}

}  // namespace
}  // namespace orvex
