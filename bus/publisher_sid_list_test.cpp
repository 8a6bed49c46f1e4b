#include "bus/publisher_sid_list.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(NormalizeSidTest, TrimsOnlySpacesAndUpperCases) {
  EXPECT_EQ(NormalizeSid("  abc "), "ABC");
  EXPECT_EQ(NormalizeSid("a b"), "A B");
  EXPECT_EQ(NormalizeSid("\tabc"), "\tABC");  // only the space character is trimmed
  EXPECT_EQ(NormalizeSid("   "), "");
  EXPECT_EQ(NormalizeSid("x1-y"), "X1-Y");
}

TEST(PublisherSidListTest, AppendsOnceRemovesAllAndPushesToTheHead) {
  PublisherSidList list;
  EXPECT_EQ(list.Head(), "");
  list.Append("A");
  list.Append("B");
  list.Append("A");  // a SID that becomes primary again is not listed twice
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"A", "B"}));
  list.PushFront("B");
  EXPECT_EQ(list.Head(), "B");
  EXPECT_EQ(list.RemoveAll("B"), 2u);
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(list.RemoveAll("Z"), 0u);
}

TEST(SelectPublisherSidTest, FollowsTheFourRulesInOrder) {
  PublisherSidList empty;
  PublisherSidList list;
  list.Append("A");
  list.Append("B");
  EXPECT_EQ(SelectPublisherSid({"BUS"}, empty), "BUS");
  EXPECT_EQ(SelectPublisherSid({"BUS"}, list), "BUS");
  EXPECT_EQ(SelectPublisherSid({}, empty), "");
  EXPECT_EQ(SelectPublisherSid({}, list), "A");
  EXPECT_EQ(SelectPublisherSid({"C", "B"}, list), "B");
  EXPECT_EQ(SelectPublisherSid({"C"}, list), "");
  EXPECT_EQ(SelectPublisherSid({"BUS", "A"}, list), "A");  // not exactly "BUS"
}

}  // namespace
}  // namespace orvex
