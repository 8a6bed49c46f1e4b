#include "rtd/cell_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace orvex::rtd {
namespace {

using Kind = CellValue::Kind;

TEST(CellValueTest, EveryBusTypeBecomesTheCellTypeExcelExpects) {
  RtdValue v;
  v.SetInt32(-7);
  CellValue c = ToCellValue(v);
  EXPECT_EQ(c.kind, Kind::kInt32);
  EXPECT_EQ(c.int32, -7);

  // 2^53 + 1 is not a double: the nearest one is what a cell can show.
  v.SetInt64((int64_t{1} << 53) + 1);
  c = ToCellValue(v);
  EXPECT_EQ(c.kind, Kind::kDouble);
  EXPECT_EQ(c.number, 9007199254740992.0);
  v.SetInt64(std::numeric_limits<int64_t>::min());
  EXPECT_EQ(ToCellValue(v).number, -9223372036854775808.0);

  v.SetDouble(2.5);
  EXPECT_EQ(ToCellValue(v).kind, Kind::kDouble);
  EXPECT_EQ(ToCellValue(v).number, 2.5);

  v.SetBool(2);  // any non-zero byte is true
  c = ToCellValue(v);
  EXPECT_EQ(c.kind, Kind::kBool);
  EXPECT_TRUE(c.boolean);
  v.SetBool(0);
  EXPECT_FALSE(ToCellValue(v).boolean);

  for (RtdValueType kind : {RtdValueType::kText, RtdValueType::kText2}) {
    v.SetText("ACME \xE9 long enough for the heap", kind);
    c = ToCellValue(v);
    EXPECT_EQ(c.kind, Kind::kText);
    EXPECT_EQ(c.text, "ACME \xE9 long enough for the heap");
  }
  for (RtdValueType kind : {RtdValueType::kWideText, RtdValueType::kWideText2}) {
    v.SetWideText(u"\u20AC 12", kind);
    c = ToCellValue(v);
    EXPECT_EQ(c.kind, Kind::kWideText);
    EXPECT_EQ(c.wide, u"\u20AC 12");
    EXPECT_EQ(CellText(c), "? 12");
  }

  v.Clear();
  EXPECT_EQ(ToCellValue(v).kind, Kind::kEmpty);
  EXPECT_EQ(CellText(ToCellValue(v)), "");

  const std::vector<uint8_t> bytes = {1, 171};
  v.SetBytes(bytes);
  EXPECT_EQ(ToCellValue(v), CellValue::Error(CellError::kValue));
  v.SetValueList({});
  EXPECT_EQ(ToCellValue(v), CellValue::Error(CellError::kValue));
  v.SetTextList({});
  EXPECT_EQ(ToCellValue(v), CellValue::Error(CellError::kValue));
}

TEST(CellValueTest, DatesBecomeAutomationDatesCountedFrom1899) {
  RtdValue v;
  v.SetDate(0);
  CellValue c = ToCellValue(v);
  EXPECT_EQ(c.kind, Kind::kDate);
  EXPECT_EQ(c.number, 25569.0);
  EXPECT_EQ(CellText(c), "1970-01-01");
  v.SetDate(20432);  // 2025-12-10
  EXPECT_EQ(CellText(ToCellValue(v)), "2025-12-10");
  v.SetDate(-5);  // stored as -1: the day before the epoch
  EXPECT_EQ(CellText(ToCellValue(v)), "1969-12-31");

  v.SetDateTime(86399);
  c = ToCellValue(v);
  EXPECT_EQ(c.kind, Kind::kDate);
  EXPECT_DOUBLE_EQ(c.number, 25569.0 + 86399.0 / 86400.0);
  EXPECT_EQ(CellText(c), "1970-01-01T23:59:59");
  v.SetDateTime(951782400 + 12 * 3600);  // a leap day, noon
  EXPECT_EQ(CellText(ToCellValue(v)), "2000-02-29T12:00:00");
}

TEST(CellValueTest, ErrorStatesHaveExcelsNumbersAndTexts) {
  EXPECT_EQ(CellErrorCode(CellError::kNA), 0x800A07FAu);
  EXPECT_EQ(CellErrorCode(CellError::kRef), 0x800A07E7u);
  EXPECT_EQ(CellErrorCode(CellError::kNull), 0x800A07D0u);
  EXPECT_EQ(CellErrorCode(CellError::kValue), 0x800A07DFu);
  EXPECT_EQ(CellText(CellValue::Error(CellError::kNA)), "#N/A");
  EXPECT_EQ(CellText(CellValue::Error(CellError::kRef)), "#REF!");
  EXPECT_EQ(CellText(CellValue::Error(CellError::kNull)), "#NULL!");
  EXPECT_EQ(CellText(CellValue::Error(CellError::kValue)), "#VALUE!");
}

}  // namespace
}  // namespace orvex::rtd
