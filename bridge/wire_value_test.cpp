#include "bridge/wire_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bridge/subject_mapping.h"
#include "bridge/wire_text.h"

namespace orvex::bridge {
namespace {

RtdValue Decoded(const std::string* type, std::string_view payload) {
  RtdValue value;
  std::string why;
  EXPECT_TRUE(DecodeValue(type, payload, 1 << 20, &value, &why)) << payload << ": " << why;
  return value;
}

// Every bus type goes out as text and comes back as the same value.
TEST(WireValueTest, EveryBusTypeRoundTrips) {
  std::vector<RtdValue> values(16);
  values[0].Clear();
  values[1].SetInt32(std::numeric_limits<int32_t>::min());
  values[2].SetInt64(std::numeric_limits<int64_t>::max());
  values[3].SetDouble(101.25);
  values[4].SetDouble(0.1 + 0.2);  // shortest form that reads back exactly
  values[5].SetDouble(-1e-300);
  values[6].SetBool(1);
  values[7].SetBool(0);
  values[8].SetText("ACME Corp. \xC3\xA9t\xC3\xA9");
  values[9].SetText("long text beyond the inline area", RtdValueType::kText2);
  values[10].SetWideText(u"caf\u00E9 \U0001F600");
  values[11].SetWideText(u"w2", RtdValueType::kWideText2);
  values[12].SetBytes(std::vector<uint8_t>{0, 1, 2, 0xFF, 0xFE});
  values[13].SetDate(19700);
  values[14].SetDateTime(1733788800 + 3661);
  values[15].SetDate(-1);
  for (const RtdValue& value : values) {
    const WireValue wire = EncodeValue(value);
    EXPECT_EQ(Decoded(&wire.type, wire.payload), value) << wire.type << " " << wire.payload;
  }
  EXPECT_EQ(EncodeValue(values[3]).payload, "101.25");
  EXPECT_EQ(EncodeValue(values[6]).payload, "true");
  EXPECT_EQ(EncodeValue(values[6]).type, "bool");
  EXPECT_EQ(EncodeValue(values[13]).payload, "2023-12-09");
  EXPECT_EQ(EncodeValue(values[14]).payload, "2024-12-10T01:01:01Z");
  EXPECT_EQ(EncodeValue(values[12]).payload, "AAEC//4=");
  EXPECT_EQ(EncodeValue(values[10]).type, "wtext");
}

TEST(WireValueTest, MessagesWithoutTypeAreNumbersOrText) {
  EXPECT_EQ(Decoded(nullptr, "101.25").Double(), 101.25);
  EXPECT_EQ(Decoded(nullptr, "-7").Type(), RtdValueType::kDouble);
  EXPECT_EQ(Decoded(nullptr, "1e3").Double(), 1000.0);
  // Not entirely a number, or not a finite one: text, as sent.
  for (const char* text : {"true", "101.25 USD", " 5", "nan", "inf", "", "0x10"}) {
    const RtdValue value = Decoded(nullptr, text);
    EXPECT_EQ(value.Type(), RtdValueType::kText) << text;
    EXPECT_EQ(value.Text(), text);
  }
  // An 8-bit bus text that is not UTF-8 goes out as ISO-8859-1 converted.
  RtdValue latin;
  latin.SetText("caf\xE9");
  EXPECT_EQ(EncodeValue(latin).payload, "caf\xC3\xA9");
}

TEST(WireValueTest, BadInputIsRefusedWithAReason) {
  const std::string int32 = "int32", boolean = "bool", date = "date", bytes = "bytes",
                    unknown = "decimal", text = "text", datetime = "datetime", empty = "empty";
  struct Case {
    const std::string* type;
    std::string payload;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {&int32, "2147483648", "not an int32"},
      {&int32, "12abc", "not an int32"},
      {&boolean, "yes", "true or false"},
      {&date, "2024-02-30", "not a date"},
      {&date, "2024-1-01", "not a date"},
      {&datetime, "2024-01-01 10:00:00", "not a date-time"},
      {&bytes, "AAE", "not base64"},
      {&bytes, "A=AA", "not base64"},
      {&unknown, "1.5", "unknown Orvex-Type 'decimal'"},
      {&text, "\xC3\x28", "not valid UTF-8"},
      {nullptr, "\xED\xA0\x80", "not valid UTF-8"},  // a UTF-16 surrogate in UTF-8
      {nullptr, "\xC0\xAF", "not valid UTF-8"},      // overlong '/'
      {&text, std::string("a\0b", 3), "NUL"},
      {&empty, "x", "has a payload"},
      {nullptr, std::string(101, 'x'), "exceeds the 100-byte limit"},
  };
  for (const Case& c : cases) {
    RtdValue value;
    std::string why;
    EXPECT_FALSE(DecodeValue(c.type, c.payload, 100, &value, &why)) << c.payload;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.payload << " -> " << why;
  }
}

TEST(WireTextTest, Utf16ConversionKeepsEveryCodePointAndMarksLoneSurrogates) {
  const std::u16string text = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(*Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_FALSE(Utf8ToUtf16("\xF4\x90\x80\x80").has_value());  // above U+10FFFF
  EXPECT_FALSE(Utf8ToUtf16("\xE2\x82").has_value());          // cut short
}

TEST(SubjectMappingTest, TopicsMapToLiteralSubjectsOnly) {
  std::string subject, why;
  EXPECT_TRUE(SubjectForItem("md.", "ACME.LAST", &subject, &why));
  EXPECT_EQ(subject, "md.ACME.LAST");
  for (const char* item :
       {"", "ACME LAST", "ACME..LAST", ".ACME", "ACME.", "md.*", "md.>", "a\tb", "\xFF"}) {
    EXPECT_FALSE(SubjectForItem("", item, &subject, &why)) << item;
    EXPECT_NE(why.find("not a valid NATS subject"), std::string::npos);
  }
  EXPECT_FALSE(SubjectForItem("", std::string(kMaxSubjectBytes + 1, 'a'), &subject, &why));
  EXPECT_EQ(ItemOfTopic("@ABC:PX.1"), "PX.1");
  EXPECT_EQ(ItemOfTopic("PX.1"), "PX.1");
  EXPECT_TRUE(IsValidBucketKey("md.ACME-1/x_y=z"));
  EXPECT_FALSE(IsValidBucketKey("md.caf\xC3\xA9"));
  EXPECT_FALSE(IsValidBucketKey(".md"));

  ExportEntry entry;
  ASSERT_TRUE(ParseExportLine(" @ABC:PX.1 ", "desk.", &entry, &why));
  EXPECT_EQ(entry.topic, "@ABC:PX.1");
  EXPECT_EQ(entry.subject, "desk.PX.1");
  ASSERT_TRUE(ParseExportLine("@ABC:PX 1 => px.one", "desk.", &entry, &why));
  EXPECT_EQ(entry.topic, "@ABC:PX 1");
  EXPECT_EQ(entry.subject, "px.one");
  EXPECT_FALSE(ParseExportLine("@ABC:PX 1", "", &entry, &why));
}

}  // namespace
}  // namespace orvex::bridge
