#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/rtd_value.h"

namespace orvex {
namespace {

std::string Dump(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i);
  RtdValue v;
  v.SetBytes(bytes);
  return v.ToText();
}

// The dump a byte string 0, 1, 2, ... of `n` bytes must give, built independently.
std::string ExpectedPairs(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof(buf), "%02X", static_cast<unsigned>(i & 0xFF));
    if (i != 0) s += ' ';
    s += buf;
  }
  return s;
}

TEST(RtdValueText, EmptyAndUnknown) {
  RtdValue v;
  EXPECT_EQ(v.ToText(), "<Undefined>");
  ASSERT_TRUE(v.SetTypeOnly(11));
  EXPECT_EQ(v.ToText(), "<Unknown Type>");
  ASSERT_TRUE(v.SetTypeOnly(99));
  EXPECT_EQ(v.ToText(), "<Unknown Type>");
}

TEST(RtdValueText, IntegersIncludingTheMostNegative) {
  RtdValue v;
  v.SetInt32(0);
  EXPECT_EQ(v.ToText(), "0");
  v.SetInt32(-2147483647 - 1);
  EXPECT_EQ(v.ToText(), "-2147483648");
  v.SetInt32(2147483647);
  EXPECT_EQ(v.ToText(), "2147483647");
  v.SetInt64(INT64_MIN);
  EXPECT_EQ(v.ToText(), "-9223372036854775808");
  v.SetInt64(1234567890123LL);
  EXPECT_EQ(v.ToText(), "1234567890123");
}

TEST(RtdValueText, DoubleAsPercentG) {
  RtdValue v;
  v.SetDouble(1.5);
  EXPECT_EQ(v.ToText(), "1.5");
  v.SetDouble(-0.000125);
  EXPECT_EQ(v.ToText(), "-0.000125");
  v.SetDouble(123456789.0);
  EXPECT_EQ(v.ToText(), "1.23457e+08");
  v.SetDouble(100000.0);
  EXPECT_EQ(v.ToText(), "100000");
}

TEST(RtdValueText, Booleans) {
  RtdValue v;
  v.SetBool(0);
  EXPECT_EQ(v.ToText(), "false");
  v.SetBool(1);
  EXPECT_EQ(v.ToText(), "true");
  v.SetBool(2);
  EXPECT_EQ(v.ToText(), "true");
}

TEST(RtdValueText, TextsInlineOrHeapRenderAlike) {
  RtdValue v;
  v.SetText("ACMELST");
  EXPECT_EQ(v.ToText(), "ACMELST");
  v.SetText("ACME.LST", RtdValueType::kText2);
  EXPECT_EQ(v.ToText(), "ACME.LST");
}

TEST(RtdValueText, WideTextThroughTheAnsiCodePage) {
  RtdValue v;
  // e-acute and the euro sign exist in the code page; a CJK character does not.
  v.SetWideText(u"caf\u00e9 \u20ac5 \u4e2d");
  EXPECT_EQ(v.ToText(),
            "caf\xe9 \x80"
            "5 ?");
  RtdValue second;
  second.SetWideText(u"caf\u00e9 \u20ac5 \u4e2d", RtdValueType::kWideText2);
  EXPECT_EQ(second.ToText(), v.ToText());
  // Short (inline) and long wide texts convert the same way.
  v.SetWideText(u"\u00e9");
  EXPECT_EQ(v.ToText(), "\xe9");
}

TEST(RtdValueText, WideTextLongerThanTheLocalBuffer) {
  std::u16string text(450, u'x');
  text[0] = u'\u00fc';
  text[449] = u'\u0416';  // Cyrillic: no counterpart
  RtdValue v;
  v.SetWideText(text);
  const std::string out = v.ToText();
  ASSERT_EQ(out.size(), 450u);
  EXPECT_EQ(out[0], '\xfc');
  EXPECT_EQ(out[1], 'x');
  EXPECT_EQ(out[449], '?');
}

TEST(RtdValueText, ByteDump) {
  RtdValue v;
  const std::vector<uint8_t> two = {1, 171};
  v.SetBytes(two);
  EXPECT_EQ(v.ToText(), "[01 AB]");
  EXPECT_EQ(Dump(0), "[]");
}

TEST(RtdValueText, ByteDumpCutAbove338) {
  EXPECT_EQ(Dump(338), "[" + ExpectedPairs(338) + "]");
  EXPECT_EQ(Dump(339), "[" + ExpectedPairs(335) + "...]");
  const std::string cut = Dump(400);
  EXPECT_EQ(cut, "[" + ExpectedPairs(335) + "...]");
  EXPECT_EQ(cut.size(), 1 + 335 * 3 - 1 + 3 + 1);
}

TEST(RtdValueText, DatesAtNoonUtc) {
  RtdValue v;
  v.SetDate(0);
  EXPECT_EQ(v.ToText(), "1970-01-01");
  v.SetDate(19716);
  EXPECT_EQ(v.ToText(), "2023-12-25");
  v.SetDate(-5);
  EXPECT_EQ(v.ToText(), "0000-00-00");
  // Beyond the year 3000 the runtime conversion fails.
  v.SetDate(2147483647);
  EXPECT_EQ(v.ToText(), "0000-00-00");
}

TEST(RtdValueText, DateTimes) {
  RtdValue v;
  v.SetDateTime(86399);
  EXPECT_EQ(v.ToText(), "1970-01-01T23:59:59");
  v.SetDateTime(951782400);  // a leap day
  EXPECT_EQ(v.ToText(), "2000-02-29T00:00:00");
  v.SetDateTime(-1);
  EXPECT_EQ(v.ToText(), "0000-00-00T00:00:00");
}

TEST(RtdValueText, Lists) {
  RtdValue v;
  v.SetTextList({});
  EXPECT_EQ(v.ToText(), "{\n}\n");
  v.SetValueList({});
  EXPECT_EQ(v.ToText(), "{\n}\n");
  v.SetTextList({std::string("ABC"), std::nullopt, std::string("")});
  EXPECT_EQ(v.ToText(), "{\n\tABC\n\t<null>\n\t\n}\n");
  RtdValue n, b;
  n.SetInt32(-3);
  b.SetBytes(std::vector<uint8_t>{0xFF});
  RtdValue inner;
  inner.SetValueList({n});
  v.SetValueList({n, b, RtdValue(), inner});
  EXPECT_EQ(v.ToText(), "{\n\t-3\n\t[FF]\n\t<Undefined>\n\t{\n\t-3\n}\n\n}\n");
}

}  // namespace
}  // namespace orvex
