#include "tools/vantel_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace orvex::vantel {
namespace {

TEST(ParseValueText, RecognisesWhatPeopleType) {
  EXPECT_EQ(ParseValueText("42").Type(), RtdValueType::kInt32);
  EXPECT_EQ(ParseValueText("42").Int32(), 42);
  EXPECT_EQ(ParseValueText("-7").Int32(), -7);
  EXPECT_EQ(ParseValueText("3.25").Type(), RtdValueType::kDouble);
  EXPECT_DOUBLE_EQ(ParseValueText("3.25").Double(), 3.25);
  EXPECT_DOUBLE_EQ(ParseValueText("-1e3").Double(), -1000.0);
  EXPECT_EQ(ParseValueText("true").Type(), RtdValueType::kBool);
  EXPECT_NE(ParseValueText("true").BoolByte(), 0);
  EXPECT_EQ(ParseValueText("false").BoolByte(), 0);
  EXPECT_TRUE(ParseValueText("").IsEmpty());
}

TEST(ParseValueText, WholeNumbersBeyondInt32BecomeInt64) {
  const RtdValue max32 = ParseValueText("2147483647");
  EXPECT_EQ(max32.Type(), RtdValueType::kInt32);
  EXPECT_EQ(max32.Int32(), std::numeric_limits<int32_t>::max());
  const RtdValue min32 = ParseValueText("-2147483648");
  EXPECT_EQ(min32.Type(), RtdValueType::kInt32);
  EXPECT_EQ(min32.Int32(), std::numeric_limits<int32_t>::min());
  const RtdValue above = ParseValueText("2147483648");
  EXPECT_EQ(above.Type(), RtdValueType::kInt64);
  EXPECT_EQ(above.Int64(), 2147483648LL);
  // Beyond 64 bits a whole number is no longer exact: it travels as a double.
  EXPECT_EQ(ParseValueText("99999999999999999999").Type(), RtdValueType::kDouble);
}

TEST(ParseValueText, AnythingElseIsTextKeptWhole) {
  for (const char* text : {"abc", "12abc", "inf", "nan", "0x10", "1.2.3x", "True", " 5"}) {
    const RtdValue v = ParseValueText(text);
    EXPECT_EQ(v.Type(), RtdValueType::kText) << text;
    EXPECT_EQ(v.Text(), text);
  }
  const RtdValue forced = ParseValueText("42", true);
  EXPECT_EQ(forced.Type(), RtdValueType::kText);
  EXPECT_EQ(forced.Text(), "42");
  // A long text leaves the inline area and must still come back whole.
  const std::string long_text(300, 'x');
  EXPECT_EQ(ParseValueText(long_text).Text(), long_text);
}

TEST(TypeName, NamesEveryCodeAndFlagsUnknownOnes) {
  RtdValue v;
  EXPECT_EQ(TypeName(v), "empty");
  v.SetInt64(1);
  EXPECT_EQ(TypeName(v), "int64");
  v.SetText("a", RtdValueType::kText2);
  EXPECT_EQ(TypeName(v), "text2");
  v.SetWideText(u"a");
  EXPECT_EQ(TypeName(v), "wtext");
  v.SetDateTime(0);
  EXPECT_EQ(TypeName(v), "datetime");
  ASSERT_TRUE(v.SetTypeOnly(200));
  EXPECT_EQ(TypeName(v), "type200");
}

TEST(ValueSources, CounterCountsAndWrapsLikeInt32) {
  CounterSource counter(std::numeric_limits<int32_t>::max() - 1, 1);
  RtdValue v;
  ASSERT_TRUE(counter.Next(&v));
  EXPECT_EQ(v.Int32(), std::numeric_limits<int32_t>::max() - 1);
  ASSERT_TRUE(counter.Next(&v));
  EXPECT_EQ(v.Int32(), std::numeric_limits<int32_t>::max());
  ASSERT_TRUE(counter.Next(&v));
  EXPECT_EQ(v.Int32(), std::numeric_limits<int32_t>::min());

  CounterSource down(10, -3);
  for (int expected : {10, 7, 4, 1, -2}) {
    ASSERT_TRUE(down.Next(&v));
    EXPECT_EQ(v.Int32(), expected);
  }
}

TEST(ValueSources, WalkStartsAtStartMovesWithinStepAndRepeatsPerSeed) {
  RandomWalkSource a(100.0, 0.5, 7);
  RandomWalkSource b(100.0, 0.5, 7);
  RandomWalkSource c(100.0, 0.5, 8);
  RtdValue va, vb, vc;
  ASSERT_TRUE(a.Next(&va));
  ASSERT_TRUE(b.Next(&vb));
  ASSERT_TRUE(c.Next(&vc));
  EXPECT_EQ(va.Type(), RtdValueType::kDouble);
  EXPECT_DOUBLE_EQ(va.Double(), 100.0);
  double previous = va.Double();
  bool differs = false;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(a.Next(&va));
    ASSERT_TRUE(b.Next(&vb));
    ASSERT_TRUE(c.Next(&vc));
    EXPECT_EQ(va.Double(), vb.Double());
    EXPECT_LE(std::fabs(va.Double() - previous), 0.5);
    differs = differs || va.Double() != vc.Double();
    previous = va.Double();
  }
  EXPECT_TRUE(differs);
  // A negative step means the same range, not an empty distribution.
  RandomWalkSource negative(0.0, -2.0, 1);
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(negative.Next(&va));
    EXPECT_LE(std::fabs(va.Double()), 2.0 * 50);
  }
}

TEST(ValueSources, MakeSourceBuildsByNameAndRefusesOthers) {
  RtdValue v;
  auto constant = MakeSource("const", "hello", false, 0, 1, 1);
  ASSERT_NE(constant, nullptr);
  ASSERT_TRUE(constant->Next(&v));
  EXPECT_EQ(v.Text(), "hello");
  ASSERT_TRUE(constant->Next(&v));
  EXPECT_EQ(v.Text(), "hello");
  auto forced = MakeSource("const", "5", true, 0, 1, 1);
  ASSERT_TRUE(forced->Next(&v));
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  auto counter = MakeSource("counter", "", false, 5, 2, 1);
  ASSERT_TRUE(counter->Next(&v));
  ASSERT_TRUE(counter->Next(&v));
  EXPECT_EQ(v.Int32(), 7);
  EXPECT_NE(MakeSource("walk", "", false, 1, 1, 1), nullptr);
  EXPECT_EQ(MakeSource("lines", "", false, 0, 1, 1), nullptr);
  EXPECT_EQ(MakeSource("Counter", "", false, 0, 1, 1), nullptr);
}

}  // namespace
}  // namespace orvex::vantel
