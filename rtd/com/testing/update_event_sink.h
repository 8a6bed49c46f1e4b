#pragma once
// Excel's side of the notification: an IRTDUpdateEvent that counts UpdateNotify calls
// and remembers the thread they came on. For tests and the stand-in Excel; Windows only.
#include <windows.h>

#include <atomic>

#include "rtd/com/rtd_interfaces.h"

namespace orvex::rtd::testing {

class UpdateEventSink final : public IRTDUpdateEvent {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidRtdUpdateEvent)) {
      *out = static_cast<IRTDUpdateEvent*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  // Lives on the caller's stack; the count only shows that the server let go.
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id == kDispUpdateNotify) return UpdateNotify();
    if (id == kDispDisconnect) return Disconnect();
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE UpdateNotify() override {
    ++notifications_;
    thread_ = GetCurrentThreadId();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HeartbeatInterval(long* value) override {
    *value = interval_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_HeartbeatInterval(long value) override {
    interval_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    disconnected_ = true;
    return S_OK;
  }

  int notifications() const { return notifications_; }
  void ResetNotifications() { notifications_ = 0; }
  DWORD thread() const { return thread_; }
  ULONG refs() const { return refs_; }
  bool disconnected() const { return disconnected_; }

 private:
  std::atomic<ULONG> refs_{1};
  std::atomic<int> notifications_{0};
  std::atomic<DWORD> thread_{0};
  long interval_ = 15000;
  bool disconnected_ = false;
};

}  // namespace orvex::rtd::testing
