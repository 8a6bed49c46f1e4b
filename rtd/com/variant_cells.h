#pragma once
// Between the portable cells and Excel's VARIANTs. Windows only.
#include <oaidl.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "rtd/cell_value.h"

namespace orvex::rtd {

// Fills `out` (which the caller has initialised or cleared) with the cell; ANSI text
// goes through the code page, wide text as it is. E_OUTOFMEMORY when a string cannot
// be made.
HRESULT CellToVariant(const CellValue& cell, VARIANT* out);

// The topic strings of ConnectData: a one-dimensional array of VARIANTs, each a string
// (or convertible to one), as ANSI texts. E_INVALIDARG for another shape, or when a
// string is longer than `max_chars` (checked before anything is converted).
HRESULT TopicStrings(SAFEARRAY* strings, size_t max_chars, std::vector<std::string>* out);

// RefreshData's answer: a 2 x n array of VARIANTs, row 0 the topic ids, row 1 the values.
HRESULT MakeRefreshArray(const std::vector<std::pair<int32_t, CellValue>>& cells, SAFEARRAY** out);

}  // namespace orvex::rtd
