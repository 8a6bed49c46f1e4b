#pragma once
// Excel's RTD interfaces as their public definitions give them, for the server and for
// programs that drive it the way Excel does. Windows only.
#include <oaidl.h>
#include <windows.h>

namespace orvex::rtd {

// {EC0E6191-DB51-11D3-8F3E-00C04F3651B8}
inline constexpr IID kIidRtdServer = {
    0xEC0E6191, 0xDB51, 0x11D3, {0x8F, 0x3E, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8}};
// {A43788C1-D91B-11D3-8F39-00C04F3651B8}
inline constexpr IID kIidRtdUpdateEvent = {
    0xA43788C1, 0xD91B, 0x11D3, {0x8F, 0x39, 0x00, 0xC0, 0x4F, 0x36, 0x51, 0xB8}};
// {6C2B9D40-8E15-47a3-9D2C-5B7E1F30A46D}
inline constexpr CLSID kClsidKelRtd = {
    0x6C2B9D40, 0x8E15, 0x47a3, {0x9D, 0x2C, 0x5B, 0x7E, 0x1F, 0x30, 0xA4, 0x6D}};
// {6C2B9D41-8E15-47a3-9D2C-5B7E1F30A46D}
inline constexpr GUID kLibIdKelRtd = {
    0x6C2B9D41, 0x8E15, 0x47a3, {0x9D, 0x2C, 0x5B, 0x7E, 0x1F, 0x30, 0xA4, 0x6D}};

// Dispatch ids, the same for the vtable order.
enum RtdDispId : DISPID {
  kDispServerStart = 10,
  kDispConnectData = 11,
  kDispRefreshData = 12,
  kDispDisconnectData = 13,
  kDispHeartbeat = 14,
  kDispServerTerminate = 15,
};
enum RtdUpdateDispId : DISPID {
  kDispUpdateNotify = 10,
  kDispHeartbeatInterval = 11,
  kDispDisconnect = 12,
};

struct IRTDUpdateEvent : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE UpdateNotify() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HeartbeatInterval(long* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HeartbeatInterval(long value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
};

struct IRtdServer : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE ServerStart(IRTDUpdateEvent* callback, long* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConnectData(long topic_id, SAFEARRAY** strings,
                                                VARIANT_BOOL* get_new_values, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE RefreshData(long* topic_count, SAFEARRAY** data) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisconnectData(long topic_id) = 0;
  virtual HRESULT STDMETHODCALLTYPE Heartbeat(long* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ServerTerminate() = 0;
};

// What the server answers for bad calls (besides E_POINTER and E_INVALIDARG).
inline constexpr HRESULT kRtdNotStarted = E_UNEXPECTED;        // before ServerStart
inline constexpr HRESULT kRtdTerminated = RPC_E_DISCONNECTED;  // after ServerTerminate
// HRESULT_FROM_WIN32 of ERROR_ALREADY_EXISTS and ERROR_NOT_ENOUGH_QUOTA.
inline constexpr HRESULT kRtdDuplicateTopic = static_cast<HRESULT>(0x800700B7u);
inline constexpr HRESULT kRtdTooManyTopics = static_cast<HRESULT>(0x80070718u);

}  // namespace orvex::rtd
