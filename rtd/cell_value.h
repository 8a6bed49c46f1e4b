#pragma once
#include <cstdint>
#include <string>

#include "protocol/rtd_value.h"

namespace orvex::rtd {

// The error values a cell can show, with the numbers Excel gives them (a cell error is
// the automation error 0x800A0000 + this number).
enum class CellError : int32_t {
  kNull = 2000,   // #NULL!: the bus is away (Corvane not running or restarting)
  kValue = 2015,  // #VALUE!: a bus value no cell can hold (bytes, lists)
  kRef = 2023,    // #REF!: the topic's publisher has left the bus
  kNA = 2042,     // #N/A: no value has arrived yet
};

// The automation error code of a cell error (what a VARIANT of type VT_ERROR holds).
constexpr uint32_t CellErrorCode(CellError error) {
  return 0x800A0000u + static_cast<uint32_t>(error);
}

// What one cell shows: a portable stand-in for the VARIANT the COM shell hands Excel.
struct CellValue {
  enum class Kind { kEmpty, kInt32, kDouble, kBool, kText, kWideText, kDate, kError };
  Kind kind = Kind::kEmpty;
  int32_t int32 = 0;
  // kDouble: the number; kDate: the OLE automation date (days since 1899-12-30).
  double number = 0;
  bool boolean = false;
  std::string text;     // kText: ANSI, converted through the code page by the shell
  std::u16string wide;  // kWideText: UTF-16 as the bus carried it
  CellError error = CellError::kNA;

  static CellValue Error(CellError e) {
    CellValue cell;
    cell.kind = Kind::kError;
    cell.error = e;
    return cell;
  }
  friend bool operator==(const CellValue&, const CellValue&) = default;
};

// Days between the OLE automation epoch (1899-12-30) and 1970-01-01.
inline constexpr double kOleDateOf1970 = 25569.0;

// The cell form of a bus value: int32 stays a 32-bit integer; int64 and double become
// doubles; boolean; the text kinds text; date and date-time an OLE date; empty empty;
// bytes, lists and unknown codes #VALUE!.
CellValue ToCellValue(const RtdValue& value);

// A short printable form ("42", "1.5", "TRUE", "text", "2026-12-10", "#N/A"), for
// diagnostics and the stand-in's output.
std::string CellText(const CellValue& cell);

}  // namespace orvex::rtd
