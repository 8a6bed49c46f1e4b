// The server DLL as Excel meets it, loaded into this process: its exports and imports,
// its type library, both calling paths and what it answers to bad calls.
#include <windows.h>
// After windows.h.
#include <oleauto.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"
#include "rtd/book_limits.h"
#include "rtd/com/rtd_interfaces.h"
#include "rtd/com/testing/dispatch_args.h"
#include "rtd/com/testing/update_event_sink.h"
#include "rtd/topic_form.h"

namespace orvex::rtd {
namespace {

std::string DllPath() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + KEL_RTD_DLL;
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Runs this thread's messages until `done` holds or `timeout_ms` passed.
template <typename Pred>
bool PumpUntil(Pred done, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

class KelRtdDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    module_ = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(module_, nullptr) << DllPath();
    get_class_ = reinterpret_cast<GetClassFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_ = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_NE(get_class_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    CoUninitialize();
  }
  IRtdServer* Create() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(get_class_(kClsidKelRtd, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    if (!factory) return nullptr;
    IRtdServer* server = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, kIidRtdServer, reinterpret_cast<void**>(&server)),
              S_OK);
    factory->Release();
    return server;
  }
  // The names in the DLL's export table and import directory.
  std::vector<std::string> Exports() const {
    auto* base = reinterpret_cast<const BYTE*>(module_);
    const IMAGE_DATA_DIRECTORY& dir =
        Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + table->AddressOfNames);
    std::vector<std::string> out;
    for (DWORD i = 0; i < table->NumberOfNames; ++i)
      out.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    return out;
  }
  std::vector<std::string> Imports() const {
    auto* base = reinterpret_cast<const BYTE*>(module_);
    const IMAGE_DATA_DIRECTORY& dir =
        Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> out;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name; ++d) {
      std::string name = reinterpret_cast<const char*>(base + d->Name);
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      out.push_back(name);
    }
    return out;
  }
  const IMAGE_NT_HEADERS* Headers() const {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module_);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(module_) +
                                                     dos->e_lfanew);
  }

  using GetClassFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
  HMODULE module_ = nullptr;
  GetClassFn get_class_ = nullptr;
  CanUnloadFn can_unload_ = nullptr;
};

TEST_F(KelRtdDllTest, ExportsOnlyTheFourEntryPointsAndImportsOnlySystemDlls) {
  std::vector<std::string> exports = Exports();
  std::sort(exports.begin(), exports.end());
  EXPECT_EQ(exports, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                               "DllRegisterServer", "DllUnregisterServer"}));
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "advapi32.dll", "ole32.dll",
                                        "oleaut32.dll", "gdi32.dll",  "shell32.dll",  "shlwapi.dll",
                                        "psapi.dll",    "msvcrt.dll", "ws2_32.dll"};
  for (const std::string& name : Imports()) {
    EXPECT_TRUE(system.count(name) == 1 || name.rfind("api-ms-win-", 0) == 0) << name;
  }
  IUnknown* other = nullptr;
  EXPECT_EQ(get_class_(kIidRtdServer, IID_IClassFactory, reinterpret_cast<void**>(&other)),
            CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(KelRtdDllTest, TheEmbeddedTypeLibraryDescribesTheDualInterface) {
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadTypeLibEx(Wide(DllPath()).c_str(), REGKIND_NONE, &library), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kLibIdKelRtd));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  library->ReleaseTLibAttr(attr);
  for (const IID* iid : {&kIidRtdServer, &kIidRtdUpdateEvent, &kClsidKelRtd}) {
    ITypeInfo* info = nullptr;
    EXPECT_EQ(library->GetTypeInfoOfGuid(*iid, &info), S_OK);
    if (info) info->Release();
  }
  library->Release();

  // Names resolve to Excel's dispatch ids through the object itself.
  IRtdServer* server = Create();
  ASSERT_NE(server, nullptr);
  const wchar_t* names[] = {L"ServerStart",    L"ConnectData", L"RefreshData",
                            L"DisconnectData", L"Heartbeat",   L"ServerTerminate"};
  for (DISPID want = kDispServerStart; want <= kDispServerTerminate; ++want) {
    LPOLESTR name = const_cast<LPOLESTR>(names[want - kDispServerStart]);
    DISPID id = -1;
    EXPECT_EQ(server->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, want);
  }
  server->Release();
}

TEST_F(KelRtdDllTest, BadCallsGetClearErrorsAndTerminateLeavesNothingBehind) {
  {
    // Wine's own services start threads on first use; count after one round.
    testing::UpdateEventSink warm_up;
    IRtdServer* first = Create();
    ASSERT_NE(first, nullptr);
    long ok = 0;
    ASSERT_EQ(first->ServerStart(&warm_up, &ok), S_OK);
    ASSERT_EQ(first->ServerTerminate(), S_OK);
    first->Release();
  }
  const int threads_before = ThreadsOfThisProcess();
  IRtdServer* server = Create();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(can_unload_(), S_FALSE);
  long count = 0;
  SAFEARRAY* out = nullptr;
  VARIANT value;
  VariantInit(&value);
  VARIANT_BOOL fresh = VARIANT_FALSE;
  SAFEARRAY* one = testing::StringArray({L"@BUS:TICKER"});
  EXPECT_EQ(server->RefreshData(&count, &out), kRtdNotStarted);
  EXPECT_EQ(server->ConnectData(1, &one, &fresh, &value), kRtdNotStarted);
  long started = 0;
  EXPECT_EQ(server->Heartbeat(&started), kRtdNotStarted);
  EXPECT_EQ(server->ServerStart(nullptr, &started), E_POINTER);

  testing::UpdateEventSink sink;
  ASSERT_EQ(server->ServerStart(&sink, &started), S_OK);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(server->ServerStart(&sink, &started), E_UNEXPECTED);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  EXPECT_TRUE(GetClassInfoExW(module_, L"OrvexKelRTDNotify", &window_class));
  EXPECT_NE(FindWindowExW(HWND_MESSAGE, nullptr, L"OrvexKelRTDNotify", nullptr), nullptr);

  SAFEARRAY* huge = testing::StringArray({std::wstring(kMaxTopicTextBytes + 1, L'x')});
  EXPECT_EQ(server->ConnectData(2, &huge, &fresh, &value), E_INVALIDARG);
  SAFEARRAY* three = testing::StringArray({L"A", L"B", L"C"});
  EXPECT_EQ(server->ConnectData(2, &three, &fresh, &value), E_INVALIDARG);
  SAFEARRAY* empty = testing::StringArray({});
  EXPECT_EQ(server->ConnectData(2, &empty, &fresh, &value), E_INVALIDARG);
  SAFEARRAY* null_array = nullptr;
  EXPECT_EQ(server->ConnectData(2, &null_array, &fresh, &value), E_INVALIDARG);
  EXPECT_EQ(server->ConnectData(2, nullptr, &fresh, &value), E_POINTER);

  ASSERT_EQ(server->ConnectData(1, &one, &fresh, &value), S_OK);
  EXPECT_EQ(fresh, VARIANT_TRUE);
  VariantClear(&value);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(server->ConnectData(1, &one, &fresh, &value), kRtdDuplicateTopic);
  }
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(server->DisconnectData(12345), S_OK);  // unknown ids are no harm
  EXPECT_EQ(server->Heartbeat(&started), S_OK);
  EXPECT_EQ(started, 1);

  EXPECT_EQ(server->ServerTerminate(), S_OK);
  EXPECT_EQ(sink.refs(), 1u);  // the server let go of Excel's callback
  // The class goes with its last window (unregistering fails while one exists).
  EXPECT_FALSE(GetClassInfoExW(module_, L"OrvexKelRTDNotify", &window_class));
  EXPECT_EQ(ThreadsOfThisProcess(), threads_before);
  EXPECT_EQ(server->ServerTerminate(), kRtdTerminated);
  EXPECT_EQ(server->RefreshData(&count, &out), kRtdTerminated);
  EXPECT_EQ(server->ConnectData(3, &one, &fresh, &value), kRtdTerminated);
  EXPECT_EQ(server->DisconnectData(1), kRtdTerminated);
  EXPECT_EQ(server->Heartbeat(&started), kRtdTerminated);
  EXPECT_EQ(server->ServerStart(&sink, &started), kRtdTerminated);
  EXPECT_EQ(can_unload_(), S_FALSE);
  EXPECT_EQ(server->Release(), 0u);
  EXPECT_EQ(can_unload_(), S_OK);
  for (SAFEARRAY* a : {one, huge, three, empty}) SafeArrayDestroy(a);
}

// A started server takes the bus's topic limit from where the bus program reads it, so
// the cell past it is refused at once instead of waiting for an answer that never comes.
TEST_F(KelRtdDllTest, TheTopicLimitFollowsTheBusSetting) {
  platform::RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const SfRegKeyPath key(RegRoot::kCurrentUser, kBusSettingsKey);
  ASSERT_TRUE(key.Create());
  ASSERT_TRUE(key.WriteDword(kBusTopicsValue, 5));  // the link's own two, and three cells
  IRtdServer* server = Create();
  ASSERT_NE(server, nullptr);
  testing::UpdateEventSink sink;
  long started = 0;
  ASSERT_EQ(server->ServerStart(&sink, &started), S_OK);
  VARIANT value;
  VariantInit(&value);
  VARIANT_BOOL fresh = VARIANT_FALSE;
  const auto connect = [&](long id, const wchar_t* text) {
    SAFEARRAY* strings = testing::StringArray({text});
    const HRESULT hr = server->ConnectData(id, &strings, &fresh, &value);
    VariantClear(&value);
    SafeArrayDestroy(strings);
    return hr;
  };
  EXPECT_EQ(connect(1, L"@ABC:ONE"), S_OK);
  EXPECT_EQ(connect(2, L"@ABC:TWO"), S_OK);
  EXPECT_EQ(connect(3, L"@ABC:THREE"), S_OK);
  EXPECT_EQ(connect(4, L"@ABC:FOUR"), kRtdTooManyTopics);
  EXPECT_EQ(connect(4, L"@ABC:TWO"), S_OK);  // a text already open takes more cells
  EXPECT_EQ(server->DisconnectData(1), S_OK);
  EXPECT_EQ(connect(5, L"@ABC:FOUR"), S_OK);
  EXPECT_EQ(server->ServerTerminate(), S_OK);
  EXPECT_EQ(server->Release(), 0u);
}

// Late-bound, as a script or Excel may call: every method through IDispatch::Invoke,
// arguments by reference where Excel passes them so.
TEST_F(KelRtdDllTest, InvokeDrivesTheServerAndUpdateNotifyComesOnThisThreadOncePerBatch) {
  IRtdServer* server = Create();
  ASSERT_NE(server, nullptr);
  testing::UpdateEventSink sink;
  auto invoke = [&](DISPID id, std::vector<VARIANT> args, VARIANT* result) {
    return testing::InvokeMethod(server, id, std::move(args), result);
  };
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(invoke(kDispServerStart, {testing::DispatchArg(&sink)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 1);

  SAFEARRAY* strings = testing::StringArray({L"BUS", L"TICKER"});
  VARIANT_BOOL fresh_value = VARIANT_FALSE;
  for (long id : {42L, 43L}) {
    ASSERT_EQ(invoke(kDispConnectData,
                     {testing::LongArg(id), testing::ByRef(&strings), testing::ByRef(&fresh_value)},
                     &result),
              S_OK);
    EXPECT_EQ(fresh_value, VARIANT_TRUE);
    ASSERT_EQ(result.vt, VT_ERROR);
    EXPECT_EQ(static_cast<uint32_t>(result.scode), 0x800A07FAu);  // #N/A until a value comes
  }
  const VARIANT topic = testing::LongArg(43);
  EXPECT_EQ(invoke(kDispConnectData, {topic}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(99, {}, &result), DISP_E_MEMBERNOTFOUND);

  // A bus value (or, without a bus, the news that it is away) changes the cell.
  ASSERT_TRUE(PumpUntil([&] { return sink.notifications() > 0; }, 30000));
  EXPECT_EQ(sink.thread(), GetCurrentThreadId());
  // The ticker moves every second; without a refresh Excel is not told again.
  PumpUntil([] { return false; }, 2500);
  EXPECT_EQ(sink.notifications(), 1);

  long count_value = -1;
  ASSERT_EQ(invoke(kDispRefreshData, {testing::ByRef(&count_value)}, &result), S_OK);
  ASSERT_EQ(result.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(count_value, 2);
  LONG low = -1, high = -1;
  SafeArrayGetUBound(result.parray, 1, &high);
  EXPECT_EQ(high, 1);  // two rows: ids and values
  SafeArrayGetUBound(result.parray, 2, &high);
  SafeArrayGetLBound(result.parray, 2, &low);
  EXPECT_EQ(high - low + 1, 2);
  std::set<long> ids;
  for (LONG i = 0; i < 2; ++i) {
    LONG id_at[2] = {0, i};  // in the order of the bounds: row, then topic
    LONG value_at[2] = {1, i};
    VARIANT id, value;
    VariantInit(&id);
    VariantInit(&value);
    ASSERT_EQ(SafeArrayGetElement(result.parray, id_at, &id), S_OK);
    ASSERT_EQ(SafeArrayGetElement(result.parray, value_at, &value), S_OK);
    EXPECT_EQ(id.vt, VT_I4);
    ids.insert(id.lVal);
    if (value.vt == VT_ERROR) {
      EXPECT_NE(static_cast<uint32_t>(value.scode), 0x800A07FAu);
    }
    VariantClear(&value);
  }
  EXPECT_EQ(ids, (std::set<long>{42, 43}));
  VariantClear(&result);

  ASSERT_EQ(invoke(kDispHeartbeat, {}, &result), S_OK);
  EXPECT_EQ(result.lVal, 1);
  ASSERT_EQ(invoke(kDispDisconnectData, {topic}, &result), S_OK);
  ASSERT_EQ(invoke(kDispServerTerminate, {}, &result), S_OK);
  EXPECT_EQ(invoke(kDispHeartbeat, {}, &result), kRtdTerminated);
  SafeArrayDestroy(strings);
  server->Release();
}

}  // namespace
}  // namespace orvex::rtd
