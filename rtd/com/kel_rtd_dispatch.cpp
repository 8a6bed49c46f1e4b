// IDispatch::Invoke of the server: Excel (or a script) may call every method late-bound.
// Arguments come last-first in rgvarg, by value or by reference.
#include "rtd/com/kel_rtd_server.h"

namespace orvex::rtd {

namespace {

// The argument at position `index` (first argument = 0), looking through a reference
// to a VARIANT.
VARIANT* Arg(DISPPARAMS* params, UINT index) {
  VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
  if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
  return v;
}

HRESULT ArgLong(DISPPARAMS* params, UINT index, long* out) {
  VARIANT* v = Arg(params, index);
  if (v->vt == (VT_I4 | VT_BYREF)) {
    *out = *v->plVal;
    return S_OK;
  }
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, v, 0, VT_I4);
  if (SUCCEEDED(hr)) *out = converted.lVal;
  return hr;
}

}  // namespace

HRESULT STDMETHODCALLTYPE KelRtdServer::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                               DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                               UINT* arg_error) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!params) return E_POINTER;
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  VARIANT ignored;
  VariantInit(&ignored);
  const HRESULT hr = InvokeMethod(id, params, result ? result : &ignored, arg_error);
  VariantClear(&ignored);
  return hr;
}

HRESULT KelRtdServer::InvokeMethod(DISPID id, DISPPARAMS* params, VARIANT* result,
                                   UINT* arg_error) {
  static constexpr UINT kArgCount[] = {1, 3, 1, 1, 0, 0};
  if (id < kDispServerStart || id > kDispServerTerminate) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != kArgCount[id - kDispServerStart]) return DISP_E_BADPARAMCOUNT;
  auto bad_arg = [&](UINT index) {
    if (arg_error) *arg_error = params->cArgs - 1 - index;
    return DISP_E_TYPEMISMATCH;
  };
  long number = 0;
  HRESULT hr = S_OK;
  switch (id) {
    case kDispServerStart: {
      VARIANT* v = Arg(params, 0);
      IUnknown* unknown = v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN ? v->punkVal
                          : v->vt == (VT_DISPATCH | VT_BYREF) || v->vt == (VT_UNKNOWN | VT_BYREF)
                              ? *v->ppunkVal
                              : nullptr;
      IRTDUpdateEvent* callback = nullptr;
      if (!unknown || FAILED(unknown->QueryInterface(kIidRtdUpdateEvent,
                                                     reinterpret_cast<void**>(&callback)))) {
        return bad_arg(0);
      }
      hr = ServerStart(callback, &number);
      callback->Release();
      break;
    }
    case kDispConnectData: {
      long topic = 0;
      if (FAILED(ArgLong(params, 0, &topic))) return bad_arg(0);
      VARIANT* strings = Arg(params, 1);
      SAFEARRAY* array = strings->vt == (VT_ARRAY | VT_VARIANT)              ? strings->parray
                         : strings->vt == (VT_ARRAY | VT_VARIANT | VT_BYREF) ? *strings->pparray
                                                                             : nullptr;
      if (!array) return bad_arg(1);
      VARIANT* fresh = Arg(params, 2);
      VARIANT_BOOL get_new = VARIANT_TRUE;
      hr = ConnectData(topic, &array, &get_new, result);
      if (fresh->vt == (VT_BOOL | VT_BYREF)) *fresh->pboolVal = get_new;
      return hr;
    }
    case kDispRefreshData: {
      VARIANT* count = Arg(params, 0);
      long topics = 0;
      SAFEARRAY* array = nullptr;
      hr = RefreshData(&topics, &array);
      if (FAILED(hr)) return hr;
      if (count->vt == (VT_I4 | VT_BYREF)) *count->plVal = topics;
      result->vt = VT_ARRAY | VT_VARIANT;
      result->parray = array;
      return S_OK;
    }
    case kDispDisconnectData:
      if (FAILED(ArgLong(params, 0, &number))) return bad_arg(0);
      return DisconnectData(number);
    case kDispHeartbeat:
      hr = Heartbeat(&number);
      break;
    case kDispServerTerminate:
      return ServerTerminate();
  }
  if (SUCCEEDED(hr)) {
    result->vt = VT_I4;
    result->lVal = number;
  }
  return hr;
}

}  // namespace orvex::rtd
