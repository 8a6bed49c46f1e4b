#include "platform/event.h"

#include <windows.h>

#include "platform/clock.h"
#include "win32_security.h"

namespace orvex::platform {

struct EventObject {
  HANDLE handle;
};

static EventObject* Wrap(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return new EventObject{handle};
}

EventObject* CreateNamedEvent(const std::string& name, const SecurityAttributes* security,
                              bool* already_existed) {
  SetLastError(ERROR_SUCCESS);
  HANDLE handle = CreateEventA(NativeSecurity(security), TRUE, FALSE, name.c_str());
  if (already_existed != nullptr) *already_existed = GetLastError() == ERROR_ALREADY_EXISTS;
  return Wrap(handle);
}

EventObject* OpenNamedEvent(const std::string& name) {
  return Wrap(OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str()));
}

EventObject* CreateUnnamedEvent() {
  return Wrap(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

void SetEvent(EventObject* event) {
  if (event != nullptr) ::SetEvent(event->handle);
}

void ResetEvent(EventObject* event) {
  if (event != nullptr) ::ResetEvent(event->handle);
}

WaitResult WaitEvent(EventObject* event, uint32_t timeout_ms) {
  if (event == nullptr) return WaitResult::kFailed;
  switch (WaitForSingleObject(event->handle, timeout_ms == kInfinite ? INFINITE : timeout_ms)) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignalled;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

void CloseEvent(EventObject* event) {
  if (event == nullptr) return;
  CloseHandle(event->handle);
  delete event;
}

}  // namespace orvex::platform
