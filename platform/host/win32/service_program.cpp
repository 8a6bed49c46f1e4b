// A service program on Windows: the service control dispatcher.
#include "platform/service_program.h"

#include <windows.h>

#include <string>

namespace orvex::platform {

namespace {

// One service per process, so its state lives in the process.
std::string g_name;
uint32_t g_stop_delay_ms = 0;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? g_stop_delay_ms + 1000 : 0;
  SetServiceStatus(g_status_handle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
  Report(SERVICE_STOP_PENDING);
  SetEvent(g_stop_event);
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  g_status_handle = RegisterServiceCtrlHandlerExA(g_name.c_str(), Control, nullptr);
  if (g_status_handle == nullptr) return;
  Report(SERVICE_RUNNING);
  WaitForSingleObject(g_stop_event, INFINITE);
  Sleep(g_stop_delay_ms);
  Report(SERVICE_STOPPED);
}

}  // namespace

int RunServiceUntilStopped(const char* name, uint32_t stop_delay_ms) {
  g_name = name;
  g_stop_delay_ms = stop_delay_ms;
  g_stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{g_name.data(), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}

}  // namespace orvex::platform
