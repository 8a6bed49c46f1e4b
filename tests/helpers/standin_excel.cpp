// Does with an RTD server what Excel does: on its single-threaded apartment it finds the
// class by ProgID, creates the server, starts it with its own IRTDUpdateEvent, connects
// one topic per cell, and on each UpdateNotify waits the throttle interval and calls
// RefreshData; at the end DisconnectData for every cell and ServerTerminate. Calls go
// through the vtable, or with --invoke through IDispatch::Invoke.
//
//   standin_excel [--progid KelRTD] [--invoke] [--throttle MS] [--log FILE]
//                 [--commands FILE] [--probe] CELL...
// CELL is ID=TEXT (one topic string) or ID=SID|TEXT (two strings). Each line written to
// the log (and standard output): "start", "cell ID TEXT" when a cell shows something
// new, "refresh N", "terminated". The commands file is read as it grows: "disconnect
// ID", "connect ID=TEXT", "quit". --probe only creates the server: exit 0 when it could.
#include <windows.h>
// After windows.h.
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rtd/cell_value.h"
#include "rtd/com/rtd_interfaces.h"
#include "rtd/com/testing/dispatch_args.h"
#include "rtd/com/testing/update_event_sink.h"

namespace {

using orvex::rtd::CellError;
using orvex::rtd::CellValue;
using orvex::rtd::IRtdServer;
using namespace orvex::rtd::testing;

struct Options {
  std::wstring prog_id = L"KelRTD";
  bool invoke = false;
  bool probe = false;
  DWORD throttle_ms = 2000;
  std::string log;
  std::string commands;
  std::vector<std::string> cells;
};

std::wstring Widen(const std::string& text) {
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// What a cell shows, printed as the server's own cell texts are.
std::string Shown(const VARIANT& v) {
  CellValue cell;
  switch (v.vt) {
    case VT_EMPTY:
      break;
    case VT_I4:
      cell.kind = CellValue::Kind::kInt32;
      cell.int32 = v.lVal;
      break;
    case VT_R8:
      cell.kind = CellValue::Kind::kDouble;
      cell.number = v.dblVal;
      break;
    case VT_BOOL:
      cell.kind = CellValue::Kind::kBool;
      cell.boolean = v.boolVal != VARIANT_FALSE;
      break;
    case VT_DATE:
      cell.kind = CellValue::Kind::kDate;
      cell.number = v.date;
      break;
    case VT_BSTR:
      cell.kind = CellValue::Kind::kWideText;
      cell.wide.assign(reinterpret_cast<const char16_t*>(v.bstrVal), SysStringLen(v.bstrVal));
      break;
    case VT_ERROR:
      cell = CellValue::Error(static_cast<CellError>(static_cast<uint32_t>(v.scode) - 0x800A0000u));
      break;
    default:
      return "<vt " + std::to_string(v.vt) + ">";
  }
  return orvex::rtd::CellText(cell);
}

class Sheet {
 public:
  Sheet(const Options& options, IRtdServer* server) : options_(options), server_(server) {
    if (!options.log.empty()) log_.open(options.log, std::ios::app);
  }

  void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (log_.is_open()) log_ << line << std::endl;
  }

  bool Start() {
    long ok = 0;
    HRESULT hr;
    if (options_.invoke) {
      VARIANT result;
      VariantInit(&result);
      hr = InvokeMethod(server_, orvex::rtd::kDispServerStart, {DispatchArg(&sink_)}, &result);
      ok = result.lVal;
    } else {
      hr = server_->ServerStart(&sink_, &ok);
    }
    Print("start " + std::to_string(ok));
    return SUCCEEDED(hr) && ok == 1;
  }

  void Connect(const std::string& cell) {
    const size_t eq = cell.find('=');
    if (eq == std::string::npos) return;
    const long id = std::stol(cell.substr(0, eq));
    std::vector<std::wstring> parts;
    std::string rest = cell.substr(eq + 1);
    const size_t bar = rest.find('|');
    if (bar == std::string::npos) {
      parts.push_back(Widen(rest));
    } else {
      parts.push_back(Widen(rest.substr(0, bar)));
      parts.push_back(Widen(rest.substr(bar + 1)));
    }
    SAFEARRAY* strings = StringArray(parts);
    VARIANT value;
    VariantInit(&value);
    VARIANT_BOOL fresh = VARIANT_FALSE;
    HRESULT hr;
    if (options_.invoke) {
      hr = InvokeMethod(server_, orvex::rtd::kDispConnectData,
                        {LongArg(id), ByRef(&strings), ByRef(&fresh)}, &value);
    } else {
      hr = server_->ConnectData(id, &strings, &fresh, &value);
    }
    SafeArrayDestroy(strings);
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    if (FAILED(hr)) {
      Print("connect " + std::to_string(id) + " failed " + code);
      return;
    }
    cells_[id] = "";
    Show(id, Shown(value));
    VariantClear(&value);
  }

  void Disconnect(long id) {
    if (cells_.erase(id) == 0) return;
    if (options_.invoke) {
      VARIANT result;
      VariantInit(&result);
      InvokeMethod(server_, orvex::rtd::kDispDisconnectData, {LongArg(id)}, &result);
    } else {
      server_->DisconnectData(id);
    }
    Print("disconnected " + std::to_string(id));
  }

  void Refresh() {
    long count = 0;
    SAFEARRAY* data = nullptr;
    HRESULT hr;
    if (options_.invoke) {
      VARIANT result;
      VariantInit(&result);
      hr = InvokeMethod(server_, orvex::rtd::kDispRefreshData, {ByRef(&count)}, &result);
      if (SUCCEEDED(hr)) data = result.parray;
    } else {
      hr = server_->RefreshData(&count, &data);
    }
    if (FAILED(hr) || !data) {
      Print("refresh failed");
      return;
    }
    Print("refresh " + std::to_string(count));
    for (LONG i = 0; i < count; ++i) {
      // Indices in the order of the array's bounds: row (0 ids, 1 values), then topic.
      LONG id_at[2] = {0, i};
      LONG value_at[2] = {1, i};
      VARIANT id, value;
      VariantInit(&id);
      VariantInit(&value);
      SafeArrayGetElement(data, id_at, &id);
      SafeArrayGetElement(data, value_at, &value);
      if (cells_.count(id.lVal)) Show(id.lVal, Shown(value));
      VariantClear(&id);
      VariantClear(&value);
    }
    SafeArrayDestroy(data);
  }

  void Terminate() {
    for (auto it = cells_.begin(); it != cells_.end();) Disconnect((it++)->first);
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = options_.invoke
                           ? InvokeMethod(server_, orvex::rtd::kDispServerTerminate, {}, &result)
                           : server_->ServerTerminate();
    Print(SUCCEEDED(hr) ? "terminated" : "terminate failed");
  }

  // Runs until "quit": messages, notifications after the throttle, commands.
  void Run() {
    std::ifstream commands;
    std::streamoff read = 0;
    DWORD notified_at = 0;
    bool pending = false;
    for (;;) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (!pending && sink_.notifications() > 0) {
        pending = true;
        notified_at = GetTickCount();
      }
      if (pending && GetTickCount() - notified_at >= options_.throttle_ms) {
        sink_.ResetNotifications();
        pending = false;
        Refresh();
      }
      if (options_.commands.empty()) continue;
      std::ifstream file(options_.commands);
      file.seekg(read);
      std::string line;
      while (std::getline(file, line) && !file.eof()) {
        read = file.tellg();
        if (line == "quit") return;
        if (line.rfind("disconnect ", 0) == 0) Disconnect(std::stol(line.substr(11)));
        if (line.rfind("connect ", 0) == 0) Connect(line.substr(8));
      }
    }
  }

 private:
  void Show(long id, const std::string& text) {
    if (cells_[id] == text) return;
    cells_[id] = text;
    Print("cell " + std::to_string(id) + " " + text);
  }

  const Options& options_;
  IRtdServer* server_;
  orvex::rtd::testing::UpdateEventSink sink_;
  std::map<long, std::string> cells_;
  std::ofstream log_;
};

int Main(const Options& options) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(options.prog_id.c_str(), &clsid);
  if (FAILED(hr)) {
    std::printf("CLSIDFromProgID failed %08lX\n", static_cast<unsigned long>(hr));
    return 3;
  }
  IRtdServer* server = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, orvex::rtd::kIidRtdServer,
                        reinterpret_cast<void**>(&server));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance failed %08lX\n", static_cast<unsigned long>(hr));
    return 3;
  }
  int code = 0;
  if (!options.probe) {
    Sheet sheet(options, server);
    if (sheet.Start()) {
      for (const std::string& cell : options.cells) sheet.Connect(cell);
      sheet.Run();
      sheet.Terminate();
    } else {
      code = 1;
    }
  }
  server->Release();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--invoke") {
      options.invoke = true;
    } else if (arg == "--probe") {
      options.probe = true;
    } else if (arg == "--progid" && has_value) {
      options.prog_id = Widen(argv[++i]);
    } else if (arg == "--throttle" && has_value) {
      options.throttle_ms = static_cast<DWORD>(std::stoul(argv[++i]));
    } else if (arg == "--log" && has_value) {
      options.log = argv[++i];
    } else if (arg == "--commands" && has_value) {
      options.commands = argv[++i];
    } else {
      options.cells.push_back(arg);
    }
  }
  if (FAILED(CoInitialize(nullptr))) return 4;
  const int code = Main(options);
  CoUninitialize();
  return code;
}
