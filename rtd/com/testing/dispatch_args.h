#pragma once
// The late-bound road into an RTD server as Excel takes it: arguments as VARIANTs
// (by reference where Excel passes them so), the topic strings array, and the
// IDispatch::Invoke call. For tests and the stand-in Excel; Windows only.
#include <windows.h>
// After windows.h.
#include <oleauto.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orvex::rtd::testing {

inline VARIANT LongArg(long value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

inline VARIANT DispatchArg(IDispatch* value) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = value;
  return v;
}

inline VARIANT ByRef(long* value) {
  VARIANT v;
  v.vt = VT_I4 | VT_BYREF;
  v.plVal = value;
  return v;
}

inline VARIANT ByRef(VARIANT_BOOL* value) {
  VARIANT v;
  v.vt = VT_BOOL | VT_BYREF;
  v.pboolVal = value;
  return v;
}

inline VARIANT ByRef(SAFEARRAY** value) {
  VARIANT v;
  v.vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  v.pparray = value;
  return v;
}

// ConnectData's topic strings: a one-dimensional array of string VARIANTs.
inline SAFEARRAY* StringArray(const std::vector<std::wstring>& texts) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(texts.size()));
  for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(texts[i].data(), static_cast<UINT>(texts[i].size()));
    SafeArrayPutElement(array, &i, &v);
    VariantClear(&v);
  }
  return array;
}

// Calls method `id` with `args` in the order the method declares them (Invoke wants
// them last first).
inline HRESULT InvokeMethod(IDispatch* target, DISPID id, std::vector<VARIANT> args,
                            VARIANT* result) {
  std::reverse(args.begin(), args.end());
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  return target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

}  // namespace orvex::rtd::testing
