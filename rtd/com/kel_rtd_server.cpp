#include "rtd/com/kel_rtd_server.h"

#include <string>
#include <vector>

#include "rtd/com/variant_cells.h"
#include "rtd/topic_form.h"

namespace orvex::rtd {

std::atomic<long> g_module_locks{0};
HINSTANCE g_module = nullptr;

KelRtdServer::KelRtdServer() {
  ++g_module_locks;
}

KelRtdServer::~KelRtdServer() {
  Shutdown();
  if (type_info_) type_info_->Release();
  --g_module_locks;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, kIidRtdServer)) {
    *out = static_cast<IRtdServer*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE KelRtdServer::AddRef() {
  return ++refs_;
}

ULONG STDMETHODCALLTYPE KelRtdServer::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  type_info_->AddRef();
  *info = type_info_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(type_info_, names, count, ids);
}

HRESULT KelRtdServer::LoadTypeInfo() {
  if (type_info_) return S_OK;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(kIidRtdServer, &type_info_);
  library->Release();
  return hr;
}

HRESULT KelRtdServer::Usable() const {
  if (state_ == State::kNew) return kRtdNotStarted;
  if (state_ == State::kTerminated) return kRtdTerminated;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::ServerStart(IRTDUpdateEvent* callback, long* result) {
  if (state_ == State::kTerminated) return kRtdTerminated;
  if (state_ == State::kStarted) return E_UNEXPECTED;
  if (!callback || !result) return E_POINTER;
  *result = 0;
  // The bus refuses topics past its limits without a word; the book refuses them at once.
  book_ = std::make_unique<RtdTopicBook>(BookLimits::FromSettings());
  if (!window_.Create(g_module, [this] { DeliverNotify(); })) {
    book_.reset();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  callback_ = callback;
  callback_->AddRef();
  RtdBusLink::Options options;
  options.notify = [this] { window_.Post(); };
  link_ = std::make_unique<RtdBusLink>(book_.get(), options);
  link_->Start();
  state_ = State::kStarted;
  *result = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::ConnectData(long topic_id, SAFEARRAY** strings,
                                                    VARIANT_BOOL* get_new_values, VARIANT* value) {
  if (const HRESULT usable = Usable(); FAILED(usable)) return usable;
  if (!strings || !get_new_values || !value) return E_POINTER;
  std::vector<std::string> parts;
  if (FAILED(TopicStrings(*strings, kMaxTopicTextBytes, &parts))) return E_INVALIDARG;
  std::string request;
  if (BuildTopicText(parts, &request) != TopicFormResult::kOk) return E_INVALIDARG;
  const RtdTopicBook::Opened opened = book_->Connect(topic_id, request);
  if (opened.outcome == ConnectOutcome::kDuplicateId) return kRtdDuplicateTopic;
  if (opened.outcome == ConnectOutcome::kTooManyTopics) return kRtdTooManyTopics;
  if (opened.new_bus_topic) link_->Open(opened.handle);
  *get_new_values = VARIANT_TRUE;
  return CellToVariant(opened.current, value);
}

HRESULT STDMETHODCALLTYPE KelRtdServer::RefreshData(long* topic_count, SAFEARRAY** data) {
  if (const HRESULT usable = Usable(); FAILED(usable)) return usable;
  if (!topic_count || !data) return E_POINTER;
  const auto cells = book_->Refresh();
  const HRESULT hr = MakeRefreshArray(cells, data);
  *topic_count = SUCCEEDED(hr) ? static_cast<long>(cells.size()) : 0;
  return hr;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::DisconnectData(long topic_id) {
  if (const HRESULT usable = Usable(); FAILED(usable)) return usable;
  const uint32_t handle = book_->Disconnect(topic_id);
  if (handle != 0) link_->Close(handle);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::Heartbeat(long* result) {
  if (const HRESULT usable = Usable(); FAILED(usable)) return usable;
  if (!result) return E_POINTER;
  *result = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE KelRtdServer::ServerTerminate() {
  if (state_ == State::kTerminated) return kRtdTerminated;
  Shutdown();
  state_ = State::kTerminated;
  return S_OK;
}

void KelRtdServer::Shutdown() {
  // The link first: once its thread is gone nothing posts to the window any more.
  link_.reset();
  window_.Destroy();
  book_.reset();
  if (callback_) {
    callback_->Release();
    callback_ = nullptr;
  }
}

void KelRtdServer::DeliverNotify() {
  if (!callback_) return;
  // UpdateNotify may re-enter RefreshData; keep the callback alive meanwhile.
  IRTDUpdateEvent* callback = callback_;
  callback->AddRef();
  callback->UpdateNotify();
  callback->Release();
}

}  // namespace orvex::rtd
