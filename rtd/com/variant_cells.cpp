#include "rtd/com/variant_cells.h"

namespace orvex::rtd {

namespace {

BSTR AnsiToBstr(const std::string& text) {
  if (text.empty()) return SysAllocStringLen(L"", 0);
  const int units =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (out) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out, units);
  }
  return out;
}

std::string BstrToAnsi(BSTR text) {
  const int units = static_cast<int>(SysStringLen(text));
  if (units == 0) return {};
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, units, out.data(), bytes, "?", nullptr);
  return out;
}

}  // namespace

HRESULT CellToVariant(const CellValue& cell, VARIANT* out) {
  VariantInit(out);
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      out->vt = VT_EMPTY;
      return S_OK;
    case CellValue::Kind::kInt32:
      out->vt = VT_I4;
      out->lVal = cell.int32;
      return S_OK;
    case CellValue::Kind::kDouble:
      out->vt = VT_R8;
      out->dblVal = cell.number;
      return S_OK;
    case CellValue::Kind::kBool:
      out->vt = VT_BOOL;
      out->boolVal = cell.boolean ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case CellValue::Kind::kText:
      out->bstrVal = AnsiToBstr(cell.text);
      if (!out->bstrVal) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    case CellValue::Kind::kWideText:
      out->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(cell.wide.data()),
                                       static_cast<UINT>(cell.wide.size()));
      if (!out->bstrVal) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    case CellValue::Kind::kDate:
      out->vt = VT_DATE;
      out->date = cell.number;
      return S_OK;
    case CellValue::Kind::kError:
      out->vt = VT_ERROR;
      out->scode = static_cast<SCODE>(CellErrorCode(cell.error));
      return S_OK;
  }
  return E_UNEXPECTED;
}

HRESULT TopicStrings(SAFEARRAY* strings, size_t max_chars, std::vector<std::string>* out) {
  out->clear();
  VARTYPE type = VT_EMPTY;
  if (!strings || SafeArrayGetDim(strings) != 1 || FAILED(SafeArrayGetVartype(strings, &type)) ||
      type != VT_VARIANT) {
    return E_INVALIDARG;
  }
  LONG low = 0;
  LONG high = -1;
  SafeArrayGetLBound(strings, 1, &low);
  SafeArrayGetUBound(strings, 1, &high);
  // Excel passes at most 28 strings; anything much larger is not a formula's.
  if (high < low || high - low >= 64) return E_INVALIDARG;
  for (LONG i = low; i <= high; ++i) {
    VARIANT item;
    VariantInit(&item);
    if (FAILED(SafeArrayGetElement(strings, &i, &item))) return E_INVALIDARG;
    HRESULT hr = item.vt == VT_BSTR ? S_OK : VariantChangeType(&item, &item, 0, VT_BSTR);
    if (SUCCEEDED(hr) && SysStringLen(item.bstrVal) > max_chars) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) out->push_back(BstrToAnsi(item.bstrVal));
    VariantClear(&item);
    if (FAILED(hr)) return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT MakeRefreshArray(const std::vector<std::pair<int32_t, CellValue>>& cells, SAFEARRAY** out) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(cells.size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) return E_OUTOFMEMORY;
  *out = array;
  if (cells.empty()) return S_OK;
  *out = nullptr;
  // Element (row, i) is what SafeArrayGetElement({row, i}) reads: row 0 the topic id,
  // row 1 the value. The strides come from the array itself rather than an assumed
  // memory order, then the elements are written in place.
  VARIANT* base = nullptr;
  VARIANT* next_row = nullptr;
  VARIANT* next_topic = nullptr;
  LONG origin[2] = {0, 0};
  LONG row_one[2] = {1, 0};
  LONG topic_one[2] = {0, 1};
  HRESULT hr = SafeArrayLock(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  SafeArrayPtrOfIndex(array, origin, reinterpret_cast<void**>(&base));
  SafeArrayPtrOfIndex(array, row_one, reinterpret_cast<void**>(&next_row));
  const ptrdiff_t row_stride = next_row - base;
  ptrdiff_t topic_stride = 2;
  if (cells.size() > 1) {
    SafeArrayPtrOfIndex(array, topic_one, reinterpret_cast<void**>(&next_topic));
    topic_stride = next_topic - base;
  }
  for (size_t i = 0; i < cells.size() && SUCCEEDED(hr); ++i) {
    VARIANT* id = base + static_cast<ptrdiff_t>(i) * topic_stride;
    id->vt = VT_I4;
    id->lVal = cells[i].first;
    hr = CellToVariant(cells[i].second, id + row_stride);
  }
  SafeArrayUnlock(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  *out = array;
  return S_OK;
}

}  // namespace orvex::rtd
