#include "platform/event.h"

#include <sys/mman.h>

#include <new>

#include "futex_event.h"
#include "named_object.h"

namespace orvex::platform {

struct EventObject {
  posix::SharedObject object;  // fd -1 for an unnamed event
  posix::FutexEvent* futex = nullptr;
  posix::FutexEvent private_word;  // the state of an unnamed event
};

static EventObject* Attach(EventObject* event) {
  void* view = mmap(nullptr, sizeof(posix::FutexEvent), PROT_READ | PROT_WRITE, MAP_SHARED,
                    event->object.fd, 0);
  if (event->object.size < sizeof(posix::FutexEvent) || view == MAP_FAILED) {
    if (view != MAP_FAILED) munmap(view, sizeof(posix::FutexEvent));
    posix::Release(&event->object);
    delete event;
    return nullptr;
  }
  event->futex = static_cast<posix::FutexEvent*>(view);
  return event;
}

EventObject* CreateNamedEvent(const std::string& name, const SecurityAttributes* /*security*/,
                              bool* already_existed) {
  auto* event = new EventObject;
  bool existed = false;
  auto init = [](void* memory) { new (memory) posix::FutexEvent; };
  if (!posix::CreateOrAttach(posix::ObjectKind::kEvent, name, sizeof(posix::FutexEvent), init,
                             &event->object, &existed)) {
    delete event;
    return nullptr;
  }
  if (already_existed != nullptr) *already_existed = existed;
  return Attach(event);
}

EventObject* OpenNamedEvent(const std::string& name) {
  auto* event = new EventObject;
  if (!posix::OpenExisting(posix::ObjectKind::kEvent, name, &event->object)) {
    delete event;
    return nullptr;
  }
  return Attach(event);
}

EventObject* CreateUnnamedEvent() {
  auto* event = new EventObject;
  event->futex = &event->private_word;
  return event;
}

void SetEvent(EventObject* event) {
  if (event != nullptr) posix::SetFutexEvent(event->futex);
}

void ResetEvent(EventObject* event) {
  if (event != nullptr) posix::ResetFutexEvent(event->futex);
}

WaitResult WaitEvent(EventObject* event, uint32_t timeout_ms) {
  if (event == nullptr) return WaitResult::kFailed;
  return posix::WaitFutexEvent(event->futex, timeout_ms);
}

void CloseEvent(EventObject* event) {
  if (event == nullptr) return;
  if (event->object.fd >= 0) {
    munmap(event->futex, sizeof(posix::FutexEvent));
    posix::Release(&event->object);
  }
  delete event;
}

}  // namespace orvex::platform
