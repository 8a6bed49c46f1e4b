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

int WaitAnyEvent(EventObject* const* events, size_t count, uint32_t timeout_ms) {
  if (count == 0 || count > kMaxWaitEvents || count > MAXIMUM_WAIT_OBJECTS) return -2;
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  for (size_t i = 0; i < count; ++i) {
    if (events[i] == nullptr) return -2;
    handles[i] = events[i]->handle;
  }
  const DWORD rc = WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE,
                                          timeout_ms == kInfinite ? INFINITE : timeout_ms);
  if (rc < WAIT_OBJECT_0 + count) return static_cast<int>(rc - WAIT_OBJECT_0);
  return rc == WAIT_TIMEOUT ? -1 : -2;
}

void CloseEvent(EventObject* event) {
  if (event == nullptr) return;
  CloseHandle(event->handle);
  delete event;
}

}  // namespace orvex::platform
