#include "rtd/cell_value.h"

#include <cmath>
#include <cstdio>

namespace orvex::rtd {

CellValue ToCellValue(const RtdValue& value) {
  CellValue cell;
  switch (value.Type()) {
    case RtdValueType::kEmpty:
      break;
    case RtdValueType::kInt32:
      cell.kind = CellValue::Kind::kInt32;
      cell.int32 = value.Int32();
      break;
    case RtdValueType::kInt64:
      // A cell has no 64-bit integer; a double keeps 53 bits exactly.
      cell.kind = CellValue::Kind::kDouble;
      cell.number = static_cast<double>(value.Int64());
      break;
    case RtdValueType::kDouble:
      cell.kind = CellValue::Kind::kDouble;
      cell.number = value.Double();
      break;
    case RtdValueType::kBool:
      cell.kind = CellValue::Kind::kBool;
      cell.boolean = value.BoolByte() != 0;
      break;
    case RtdValueType::kText:
    case RtdValueType::kText2:
      cell.kind = CellValue::Kind::kText;
      cell.text = std::string(value.Text());
      break;
    case RtdValueType::kWideText:
    case RtdValueType::kWideText2:
      cell.kind = CellValue::Kind::kWideText;
      cell.wide = std::u16string(value.WideText());
      break;
    case RtdValueType::kDate:
      cell.kind = CellValue::Kind::kDate;
      cell.number = kOleDateOf1970 + value.Date();
      break;
    case RtdValueType::kDateTime:
      cell.kind = CellValue::Kind::kDate;
      cell.number = kOleDateOf1970 + static_cast<double>(value.DateTime()) / 86400.0;
      break;
    default:
      return CellValue::Error(CellError::kValue);
  }
  return cell;
}

namespace {

std::string ErrorText(CellError error) {
  switch (error) {
    case CellError::kNull:
      return "#NULL!";
    case CellError::kValue:
      return "#VALUE!";
    case CellError::kRef:
      return "#REF!";
    case CellError::kNA:
      return "#N/A";
  }
  return "#ERROR" + std::to_string(static_cast<int32_t>(error));
}

// yyyy-mm-dd[Thh:mm:ss] of an OLE date, by the civil-from-days algorithm.
std::string DateText(double ole) {
  const double since_1970 = ole - kOleDateOf1970;
  const int64_t days = static_cast<int64_t>(std::floor(since_1970));
  const int64_t seconds = std::llround((since_1970 - static_cast<double>(days)) * 86400.0);
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[160];
  if (seconds == 0) {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day));
  } else {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  }
  return buffer;
}

}  // namespace

std::string CellText(const CellValue& cell) {
  char buffer[32];
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      return "";
    case CellValue::Kind::kInt32:
      return std::to_string(cell.int32);
    case CellValue::Kind::kDouble:
      std::snprintf(buffer, sizeof buffer, "%.15g", cell.number);
      return buffer;
    case CellValue::Kind::kBool:
      return cell.boolean ? "TRUE" : "FALSE";
    case CellValue::Kind::kText:
      return cell.text;
    case CellValue::Kind::kWideText: {
      // Printable only: units outside ASCII show as '?'.
      std::string out;
      for (char16_t unit : cell.wide) out += unit < 0x80 ? static_cast<char>(unit) : '?';
      return out;
    }
    case CellValue::Kind::kDate:
      return DateText(cell.number);
    case CellValue::Kind::kError:
      return ErrorText(cell.error);
  }
  return "";
}

}  // namespace orvex::rtd
