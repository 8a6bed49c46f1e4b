#include "window_system.h"

#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/window_messages.h"
#include "window_table.h"

static_assert(sizeof(void*) == 8, "window handles carry the owner pid in their high half");

namespace orvex::platform::posix {

namespace {

struct SentMessage {
  QueuedMessage message;
  LResult result = 0;
  bool done = false;
};

struct State {
  std::mutex lock;
  std::condition_variable wake;
  std::map<uint64_t, std::shared_ptr<Window>> windows;
  std::deque<QueuedMessage> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit_pending = false;
  int quit_code = 0;
  uint32_t next_serial = 1;
};

// Never destroyed: the socket thread may still deliver while the process exits.
State& Shared() {
  static State* state = new State;
  return *state;
}

int64_t Incoming(uint64_t handle, uint32_t message, uint64_t wparam, int64_t lparam,
                 bool wait_for_result) {
  if (!FindLocal(handle)) return 0;
  if (!wait_for_result) return Enqueue(handle, message, wparam, lparam) ? 1 : 0;
  return SendThroughLoop(handle, message, wparam, lparam);
}

TableEntry EntryOf(const Window& window) {
  return TableEntry{window.handle, window.window_class, window.title, window.visible};
}

}  // namespace

bool IsLocalHandle(uint64_t handle) {
  return static_cast<uint32_t>(handle >> 32) == static_cast<uint32_t>(getpid());
}

std::shared_ptr<Window> NewWindow(const std::string& window_class, const std::string& title,
                                  uint32_t style, WindowProcedure procedure, uint64_t parent) {
  auto window = std::make_shared<Window>();
  window->window_class = window_class;
  window->title = title;
  window->style = style;
  window->procedure = procedure;
  window->parent = parent;
  window->thread = std::this_thread::get_id();
  State& state = Shared();
  std::lock_guard<std::mutex> guard(state.lock);
  window->handle = (static_cast<uint64_t>(getpid()) << 32) | state.next_serial++;
  state.windows[window->handle] = window;
  if (parent != 0) {
    auto it = state.windows.find(parent);
    if (it != state.windows.end()) it->second->children.push_back(window->handle);
  }
  return window;
}

std::shared_ptr<Window> FindLocal(uint64_t handle) {
  State& state = Shared();
  std::lock_guard<std::mutex> guard(state.lock);
  auto it = state.windows.find(handle);
  return it == state.windows.end() ? nullptr : it->second;
}

bool List(const std::shared_ptr<Window>& window) {
  if (!StartMessageSocket(Incoming)) return false;
  TableEntry entry;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    window->listed = true;
    entry = EntryOf(*window);
  }
  return PublishEntry(entry);
}

void Republish(const Window& window) {
  TableEntry entry;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    if (!window.listed) return;
    entry = EntryOf(window);
  }
  PublishEntry(entry);
}

bool ModifyWindow(uint64_t handle, void (*change)(Window&, const void*), const void* arg,
                  bool republish) {
  std::shared_ptr<Window> window;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    auto it = Shared().windows.find(handle);
    if (it == Shared().windows.end()) return false;
    window = it->second;
    change(*window, arg);
  }
  if (republish) Republish(*window);
  return true;
}

LResult CallProcedure(uint64_t handle, uint32_t message, WParam wparam, LParam lparam) {
  auto window = FindLocal(handle);
  if (!window || window->procedure == nullptr) return 0;
  return window->procedure(ToHandle(handle), message, wparam, lparam);
}

bool Enqueue(uint64_t handle, uint32_t message, WParam wparam, LParam lparam) {
  State& state = Shared();
  {
    std::lock_guard<std::mutex> guard(state.lock);
    if (handle != 0 && state.windows.count(handle) == 0) return false;
    state.posted.push_back(QueuedMessage{ToHandle(handle), message, wparam, lparam});
  }
  state.wake.notify_all();
  return true;
}

LResult SendThroughLoop(uint64_t handle, uint32_t message, WParam wparam, LParam lparam) {
  State& state = Shared();
  auto item = std::make_shared<SentMessage>();
  item->message = QueuedMessage{ToHandle(handle), message, wparam, lparam};
  std::unique_lock<std::mutex> guard(state.lock);
  state.sent.push_back(item);
  state.wake.notify_all();
  state.wake.wait(guard, [&] { return item->done; });
  return item->result;
}

bool Destroy(uint64_t handle) {
  auto window = FindLocal(handle);
  if (!window) return false;
  CallProcedure(handle, WM_DESTROY, 0, 0);
  std::vector<uint64_t> children;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    children = window->children;
  }
  for (uint64_t child : children) Destroy(child);
  bool listed = false;
  {
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    listed = window->listed;
    window->listed = false;
    state.windows.erase(handle);
    auto parent = state.windows.find(window->parent);
    if (parent != state.windows.end()) std::erase(parent->second->children, handle);
  }
  if (listed) WithdrawEntry(handle);
  Shared().wake.notify_all();  // a modal loop waits for its dialog to go
  return true;
}

}  // namespace orvex::platform::posix

namespace orvex::platform {

using posix::Shared;

int GetNextMessage(QueuedMessage* message) {
  posix::State& state = Shared();
  std::unique_lock<std::mutex> guard(state.lock);
  for (;;) {
    if (!state.sent.empty()) {
      auto item = state.sent.front();
      state.sent.pop_front();
      guard.unlock();
      const LResult result =
          posix::CallProcedure(posix::FromHandle(item->message.window), item->message.message,
                               item->message.wparam, item->message.lparam);
      guard.lock();
      item->result = result;
      item->done = true;
      state.wake.notify_all();
      continue;
    }
    if (!state.posted.empty()) {
      *message = state.posted.front();
      state.posted.pop_front();
      return 1;
    }
    if (state.quit_pending) {
      state.quit_pending = false;
      *message = QueuedMessage{nullptr, WM_QUIT, static_cast<WParam>(state.quit_code), 0};
      return 0;
    }
    state.wake.wait(guard);
  }
}

void TranslateQueuedMessage(const QueuedMessage&) {}

LResult DispatchQueuedMessage(const QueuedMessage& message) {
  if (message.window == nullptr) return 0;
  return posix::CallProcedure(posix::FromHandle(message.window), message.message, message.wparam,
                              message.lparam);
}

// Headless dialogs have no keyboard navigation to perform.
bool IsDialogQueuedMessage(WindowHandle, const QueuedMessage&) {
  return false;
}

void PostQuit(int exit_code) {
  posix::State& state = Shared();
  {
    std::lock_guard<std::mutex> guard(state.lock);
    state.quit_pending = true;
    state.quit_code = exit_code;
  }
  state.wake.notify_all();
}

}  // namespace orvex::platform
