#include "platform/event.h"

#include <new>

#include "futex_event.h"
#include "named_object.h"
#include "shared_views.h"

namespace orvex::platform {

struct EventObject {
  posix::SharedObject object;  // fd -1 for an unnamed event
  posix::FutexEvent* futex = nullptr;
  posix::FutexEvent private_word;  // the state of an unnamed event
};

static EventObject* Attach(EventObject* event) {
  // A peer that shrinks the file later leaves this event with private words: it then
  // only ever times out, which every wait on it allows for.
  void* view = posix::MapSharedView(event->object.fd, sizeof(posix::FutexEvent));
  if (event->object.size < sizeof(posix::FutexEvent) || view == nullptr) {
    posix::UnmapSharedView(view, sizeof(posix::FutexEvent));
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

int WaitAnyEvent(EventObject* const* events, size_t count, uint32_t timeout_ms) {
  if (count > kMaxWaitEvents) return -2;
  posix::FutexEvent* words[kMaxWaitEvents];
  for (size_t i = 0; i < count; ++i) {
    if (events[i] == nullptr) return -2;
    words[i] = events[i]->futex;
  }
  return posix::WaitAnyFutexEvent(words, count, timeout_ms);
}

void CloseEvent(EventObject* event) {
  if (event == nullptr) return;
  if (event->object.fd >= 0) {
    posix::UnmapSharedView(event->futex, sizeof(posix::FutexEvent));
    posix::Release(&event->object);
  }
  delete event;
}

}  // namespace orvex::platform
