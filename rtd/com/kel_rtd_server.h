#pragma once
// The COM object Excel creates for =RTD("KelRTD",...): IRtdServer through its vtable
// and through IDispatch. Every method is called on the creating (Excel's) thread.
// Windows only.
#include <atomic>
#include <memory>

#include "rtd/bus_link.h"
#include "rtd/com/notify_window.h"
#include "rtd/com/rtd_interfaces.h"
#include "rtd/topic_book.h"

namespace orvex::rtd {

// Objects and class-factory locks alive in the process (DllCanUnloadNow).
extern std::atomic<long> g_module_locks;
// The DLL's own module handle (set in DllMain).
extern HINSTANCE g_module;

class KelRtdServer final : public IRtdServer {
 public:
  KelRtdServer();
  ~KelRtdServer();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch: names and type information from the embedded type library; Invoke
  // unpacks the arguments itself (Excel passes them by value or by reference).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;
  // IRtdServer
  HRESULT STDMETHODCALLTYPE ServerStart(IRTDUpdateEvent* callback, long* result) override;
  HRESULT STDMETHODCALLTYPE ConnectData(long topic_id, SAFEARRAY** strings,
                                        VARIANT_BOOL* get_new_values, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE RefreshData(long* topic_count, SAFEARRAY** data) override;
  HRESULT STDMETHODCALLTYPE DisconnectData(long topic_id) override;
  HRESULT STDMETHODCALLTYPE Heartbeat(long* result) override;
  HRESULT STDMETHODCALLTYPE ServerTerminate() override;

 private:
  enum class State { kNew, kStarted, kTerminated };
  HRESULT Usable() const;
  // The callback's UpdateNotify, on Excel's thread (from the notify window).
  void DeliverNotify();
  HRESULT LoadTypeInfo();
  HRESULT InvokeMethod(DISPID id, DISPPARAMS* params, VARIANT* result, UINT* arg_error);
  void Shutdown();

  std::atomic<ULONG> refs_{1};
  State state_ = State::kNew;
  IRTDUpdateEvent* callback_ = nullptr;
  ITypeInfo* type_info_ = nullptr;
  std::unique_ptr<RtdTopicBook> book_;
  std::unique_ptr<RtdBusLink> link_;
  NotifyWindow window_;
};

}  // namespace orvex::rtd
