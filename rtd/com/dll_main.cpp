// The DLL's entry points: the class factory for KelRTD and the per-user registration.
#include <windows.h>
// After windows.h: SELFREG_E_CLASS.
#include <olectl.h>

#include <new>
#include <string>

#include "rtd/com/kel_rtd_server.h"
#include "rtd/server_keys.h"

namespace orvex::rtd {
namespace {

class KelRtdFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is static; its references do not keep the DLL, LockServer does.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* server = new (std::nothrow) KelRtdServer();
    if (!server) return E_OUTOFMEMORY;
    const HRESULT hr = server->QueryInterface(iid, out);
    server->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_module_locks;
    } else {
      --g_module_locks;
    }
    return S_OK;
  }
};

KelRtdFactory g_factory;

std::string ModulePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

}  // namespace
}  // namespace orvex::rtd

using orvex::rtd::g_module;
using orvex::rtd::g_module_locks;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, orvex::rtd::kClsidKelRtd)) return CLASS_E_CLASSNOTAVAILABLE;
  return orvex::rtd::g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_module_locks.load() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::string path = orvex::rtd::ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  return orvex::rtd::RegisterServerKeys(path, sizeof(void*) == 8) ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return orvex::rtd::UnregisterServerKeys() ? S_OK : SELFREG_E_CLASS;
}
