#include "protocol/rtd_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvex {
namespace {

std::vector<uint8_t> Sequence(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

TEST(RtdValueStorage, TextInlineUpToSevenCharacters) {
  RtdValue v;
  v.SetText("ABCDEFG");
  EXPECT_TRUE(v.IsInline());
  EXPECT_EQ(v.Text(), "ABCDEFG");
  v.SetText("ABCDEFGH");
  EXPECT_FALSE(v.IsInline());
  EXPECT_EQ(v.Text(), "ABCDEFGH");
  v.SetText("");
  EXPECT_TRUE(v.IsInline());
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  EXPECT_EQ(v.Text(), "");
}

TEST(RtdValueStorage, WideTextInlineUpToThreeUnits) {
  RtdValue v;
  v.SetWideText(u"abc");
  EXPECT_TRUE(v.IsInline());
  EXPECT_EQ(v.WideText(), u"abc");
  v.SetWideText(u"abcd", RtdValueType::kWideText2);
  EXPECT_FALSE(v.IsInline());
  EXPECT_EQ(v.Type(), RtdValueType::kWideText2);
  EXPECT_EQ(v.WideText(), u"abcd");
}

TEST(RtdValueStorage, BytesInlineUpToSevenIncludingZeros) {
  RtdValue v;
  const std::vector<uint8_t> seven = {0, 0, 255, 0, 1, 0, 0};
  v.SetBytes(seven);
  EXPECT_TRUE(v.IsInline());
  ASSERT_EQ(v.Bytes().size(), 7u);
  EXPECT_TRUE(std::equal(seven.begin(), seven.end(), v.Bytes().begin()));
  const auto eight = Sequence(8);
  v.SetBytes(eight);
  EXPECT_FALSE(v.IsInline());
  EXPECT_TRUE(std::equal(eight.begin(), eight.end(), v.Bytes().begin(), v.Bytes().end()));
  v.SetBytes({});
  EXPECT_EQ(v.Type(), RtdValueType::kBytes);
  EXPECT_TRUE(v.Bytes().empty());
}

TEST(RtdValueStorage, TextsEndAtTheirTerminator) {
  RtdValue v;
  v.SetText(std::string_view("AB\0CD", 5));
  EXPECT_EQ(v.Text(), "AB");
  v.SetWideText(std::u16string_view(u"xy\0z", 4));
  EXPECT_EQ(v.WideText(), u"xy");
}

TEST(RtdValueStorage, OtherKindsFallBackToTheFirstTextKinds) {
  RtdValue v;
  v.SetText("a", RtdValueType::kBytes);
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  v.SetWideText(u"a", RtdValueType::kText2);
  EXPECT_EQ(v.Type(), RtdValueType::kWideText);
}

TEST(RtdValueSetters, NumbersAndDates) {
  RtdValue v;
  v.SetInt32(-2147483647 - 1);
  EXPECT_EQ(v.Type(), RtdValueType::kInt32);
  EXPECT_EQ(v.Int32(), -2147483647 - 1);
  v.SetInt64(INT64_MIN);
  EXPECT_EQ(v.Int64(), INT64_MIN);
  EXPECT_EQ(v.Int32(), 0);  // wrong accessor for the type
  v.SetDouble(2.5);
  EXPECT_EQ(v.Double(), 2.5);
  v.SetBool(2);
  EXPECT_EQ(v.BoolByte(), 2);
  v.SetDate(-5);
  EXPECT_EQ(v.Date(), -1);
  v.SetDate(19000);
  EXPECT_EQ(v.Date(), 19000);
  v.SetDateTime(-7);
  EXPECT_EQ(v.DateTime(), -7);
}

TEST(RtdValueSetters, ReplacingHeapContentReleasesIt) {
  // Under the sanitizer build a leak here fails the test run.
  RtdValue v;
  v.SetText(std::string(100, 'x'));
  v.SetInt32(4);
  EXPECT_EQ(v.Type(), RtdValueType::kInt32);
  EXPECT_TRUE(v.Text().empty());
  v.SetBytes(Sequence(50));
  v.Clear();
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_TRUE(v.Bytes().empty());
}

TEST(RtdValueSetters, TypeOnlyAcceptsPayloadlessCodes) {
  RtdValue v;
  v.SetText("keep");
  EXPECT_FALSE(v.SetTypeOnly(5));
  EXPECT_EQ(v.Text(), "keep");
  EXPECT_TRUE(v.SetTypeOnly(11));
  EXPECT_EQ(v.TypeCode(), 11);
  EXPECT_TRUE(v.SetTypeOnly(200));
  EXPECT_EQ(v.TypeCode(), 200);
}

TEST(RtdValueCopy, DeepCopyOfHeapContent) {
  RtdValue a;
  a.SetText("a long text on the heap");
  RtdValue b(a);
  a.SetText("changed after the copy");
  EXPECT_EQ(b.Text(), "a long text on the heap");
  EXPECT_NE(a.Text().data(), b.Text().data());

  RtdValue c;
  c.SetWideText(u"wide and long");
  RtdValue d;
  d.SetBytes(Sequence(3));
  d = c;
  c.Clear();
  EXPECT_EQ(d.WideText(), u"wide and long");
  EXPECT_EQ(d.Type(), RtdValueType::kWideText);
}

TEST(RtdValueCopy, ListsCopyTheirElements) {
  RtdValue inner;
  inner.SetText("element text longer than seven");
  RtdValue list;
  list.SetValueList({inner, RtdValue()});
  RtdValue copy = list;
  list.SetInt32(1);
  ASSERT_NE(copy.ValueList(), nullptr);
  ASSERT_EQ(copy.ValueList()->size(), 2u);
  EXPECT_EQ((*copy.ValueList())[0].Text(), "element text longer than seven");
  EXPECT_TRUE((*copy.ValueList())[1].IsEmpty());

  RtdValue texts;
  texts.SetTextList({std::string("one"), std::nullopt});
  RtdValue texts_copy(texts);
  texts.Clear();
  ASSERT_NE(texts_copy.TextList(), nullptr);
  EXPECT_EQ(*texts_copy.TextList(), (RtdTextList{std::string("one"), std::nullopt}));
}

TEST(RtdValueCopy, AssignFromOwnElement) {
  RtdValue element;
  element.SetText("an element that lives on the heap");
  RtdValue v;
  v.SetValueList({element});
  v = (*v.ValueList())[0];
  EXPECT_EQ(v.Text(), "an element that lives on the heap");
  v.SetValueList({element});
  RtdValue& self = v;
  v = self;
  ASSERT_NE(v.ValueList(), nullptr);
  EXPECT_EQ(v.ValueList()->size(), 1u);
}

TEST(RtdValueCopy, MoveLeavesSourceEmpty) {
  RtdValue a;
  a.SetBytes(Sequence(20));
  RtdValue b(std::move(a));
  EXPECT_TRUE(a.IsEmpty());  // NOLINT(bugprone-use-after-move): documented state
  EXPECT_EQ(b.Bytes().size(), 20u);
  RtdValue c;
  c.SetText("will be replaced by the move");
  c = std::move(b);
  EXPECT_EQ(c.Bytes().size(), 20u);
  EXPECT_TRUE(b.IsEmpty());  // NOLINT(bugprone-use-after-move)
}

TEST(RtdValueAppend, TextMovesToHeapWhenItOutgrowsTheArea) {
  RtdValue v;
  v.AppendText("abc");
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  EXPECT_TRUE(v.IsInline());
  v.AppendText("defg");
  EXPECT_TRUE(v.IsInline());
  EXPECT_EQ(v.Text(), "abcdefg");
  v.AppendText("h");
  EXPECT_FALSE(v.IsInline());
  EXPECT_EQ(v.Text(), "abcdefgh");
  v.AppendText("ij");
  EXPECT_EQ(v.Text(), "abcdefghij");
}

TEST(RtdValueAppend, DifferentTypeRestartsTheValue) {
  RtdValue v;
  v.SetInt32(7);
  v.AppendText("xy", RtdValueType::kText2);
  EXPECT_EQ(v.Type(), RtdValueType::kText2);
  EXPECT_EQ(v.Text(), "xy");
  // 5 and 12 are different types: appending the other kind starts over.
  v.AppendText("z", RtdValueType::kText);
  EXPECT_EQ(v.Type(), RtdValueType::kText);
  EXPECT_EQ(v.Text(), "z");
}

TEST(RtdValueAppend, WideTextAndBytes) {
  RtdValue w;
  w.AppendWideText(u"ab", RtdValueType::kWideText2);
  w.AppendWideText(u"c", RtdValueType::kWideText2);
  EXPECT_TRUE(w.IsInline());
  w.AppendWideText(u"d", RtdValueType::kWideText2);
  EXPECT_FALSE(w.IsInline());
  EXPECT_EQ(w.WideText(), u"abcd");
  EXPECT_EQ(w.Type(), RtdValueType::kWideText2);

  RtdValue b;
  const auto all = Sequence(12);
  b.AppendBytes(std::span(all).first(7));
  EXPECT_TRUE(b.IsInline());
  b.AppendBytes(std::span(all).subspan(7));
  EXPECT_FALSE(b.IsInline());
  EXPECT_TRUE(std::equal(all.begin(), all.end(), b.Bytes().begin(), b.Bytes().end()));
}

TEST(RtdValueEquality, ComparesTypeAndContent) {
  RtdValue a, b;
  a.SetText("same");
  b.SetText("same", RtdValueType::kText2);
  EXPECT_FALSE(a == b);
  b.SetText("same");
  EXPECT_TRUE(a == b);
  a.SetDouble(0.0);
  b.SetDouble(-0.0);
  EXPECT_FALSE(a == b);  // bit comparison keeps the sign of zero
}

}  // namespace
}  // namespace orvex
