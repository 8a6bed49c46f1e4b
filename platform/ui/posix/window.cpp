#include "platform/window.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/no_case.h"
#include "platform/window_messages.h"
#include "window_classes.h"
#include "window_system.h"
#include "window_table.h"

namespace orvex::platform {

using posix::FindLocal;
using posix::FromHandle;
using posix::ToHandle;

namespace {

// Windows gives a new overlapped window a size chosen by the system; any fixed size does.
constexpr Rect kDefaultRect{0, 0, 320, 240};

}  // namespace

ModuleInstance CurrentModule() {
  static char marker;
  return reinterpret_cast<ModuleInstance>(&marker);
}

bool RegisterWindowClass(ModuleInstance, const char* class_name, uint32_t,
                         WindowProcedure procedure) {
  if (class_name == nullptr || procedure == nullptr) return false;
  bool added = false;
  return window_classes::Add(class_name, procedure, &added);
}

WindowHandle CreateTopLevelWindow(ModuleInstance, const char* class_name, const char* title,
                                  uint32_t style) {
  if (class_name == nullptr) return nullptr;
  const WindowProcedure procedure = window_classes::Find(class_name);
  if (procedure == nullptr) return nullptr;
  auto window = posix::NewWindow(class_name, title == nullptr ? "" : title, style, procedure, 0);
  window->rect = kDefaultRect;
  window->visible = (style & WS_VISIBLE) != 0;
  if (!posix::List(window) || procedure(ToHandle(window->handle), WM_CREATE, 0, 0) == -1) {
    posix::Destroy(window->handle);
    return nullptr;
  }
  return ToHandle(window->handle);
}

bool DestroyWindowObject(WindowHandle window) {
  return posix::Destroy(FromHandle(window));
}

bool IsWindowAlive(WindowHandle window) {
  const uint64_t handle = FromHandle(window);
  if (handle == 0) return false;
  if (posix::IsLocalHandle(handle)) return FindLocal(handle) != nullptr;
  posix::TableEntry entry;
  return posix::ReadEntry(handle, &entry);
}

bool ShowWindowAs(WindowHandle window, int show_command) {
  bool was_visible = false;
  posix::Modify(FromHandle(window), [&](posix::Window& w) {
    was_visible = w.visible;
    w.visible = show_command != SW_HIDE;
  });
  return was_visible;
}

bool IsWindowShown(WindowHandle window) {
  const uint64_t handle = FromHandle(window);
  if (auto local = FindLocal(handle)) return local->visible;
  posix::TableEntry entry;
  return !posix::IsLocalHandle(handle) && posix::ReadEntry(handle, &entry) && entry.visible;
}

std::string WindowText(WindowHandle window) {
  const uint64_t handle = FromHandle(window);
  std::string text;
  if (posix::Inspect(handle, [&](posix::Window& w) { text = w.title; })) return text;
  posix::TableEntry entry;
  if (!posix::IsLocalHandle(handle) && posix::ReadEntry(handle, &entry)) return entry.title;
  return {};
}

bool SetWindowTitle(WindowHandle window, const std::string& text) {
  return posix::Modify(FromHandle(window), [&](posix::Window& w) { w.title = text; });
}

std::string WindowClassName(WindowHandle window) {
  const uint64_t handle = FromHandle(window);
  std::string name;
  if (posix::Inspect(handle, [&](posix::Window& w) { name = w.window_class; })) return name;
  posix::TableEntry entry;
  if (!posix::IsLocalHandle(handle) && posix::ReadEntry(handle, &entry)) {
    return entry.window_class;
  }
  return {};
}

uint32_t WindowProcessId(WindowHandle window) {
  return IsWindowAlive(window) ? static_cast<uint32_t>(FromHandle(window) >> 32) : 0;
}

WindowHandle FindTopLevelWindow(const char* class_name, const char* title) {
  std::vector<posix::TableEntry> entries;
  if (!posix::ListEntries(&entries)) return nullptr;
  for (const auto& entry : entries) {
    if (class_name != nullptr && !EqualsNoCase(entry.window_class, class_name)) continue;
    if (title != nullptr && !EqualsNoCase(entry.title, title)) continue;
    return ToHandle(entry.handle);
  }
  return nullptr;
}

bool EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
  std::vector<posix::TableEntry> entries;
  if (!posix::ListEntries(&entries)) return false;
  for (const auto& entry : entries) {
    if (!visit(ToHandle(entry.handle))) break;
  }
  return true;
}

LResult SendWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  const uint64_t handle = FromHandle(window);
  if (handle == 0) return 0;
  if (posix::IsLocalHandle(handle)) {
    auto local = FindLocal(handle);
    if (!local) return 0;
    if (local->thread == std::this_thread::get_id()) {
      return posix::CallProcedure(handle, message, wparam, lparam);
    }
    return posix::SendThroughLoop(handle, message, wparam, lparam);
  }
  int64_t result = 0;
  return posix::DeliverRemote(handle, message, wparam, lparam, true, &result) ? result : 0;
}

bool PostWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  const uint64_t handle = FromHandle(window);
  if (handle == 0 || posix::IsLocalHandle(handle)) {
    return posix::Enqueue(handle, message, wparam, lparam);
  }
  int64_t queued = 0;
  return posix::DeliverRemote(handle, message, wparam, lparam, false, &queued) && queued != 0;
}

LResult DefaultWindowProcedure(WindowHandle window, uint32_t message, WParam wparam,
                               LParam lparam) {
  const uint64_t handle = FromHandle(window);
  switch (message) {
    case WM_CLOSE:
      DestroyWindowObject(window);
      return 0;
    case WM_SETTEXT:
      return SetWindowTitle(window, lparam == 0 ? "" : reinterpret_cast<const char*>(lparam));
    case WM_GETTEXTLENGTH:
      return static_cast<LResult>(WindowText(window).size());
    case WM_GETTEXT: {
      if (wparam == 0 || lparam == 0) return 0;
      const std::string text = WindowText(window);
      const size_t n = std::min<size_t>(text.size(), wparam - 1);
      std::memcpy(reinterpret_cast<char*>(lparam), text.data(), n);
      reinterpret_cast<char*>(lparam)[n] = '\0';
      return static_cast<LResult>(n);
    }
    case WM_SETICON:
    case WM_GETICON: {
      LParam previous = 0;
      const int kind = wparam == static_cast<WParam>(ICON_BIG) ? 1 : 0;
      posix::Modify(handle, [&](posix::Window& w) {
        previous = w.icons[kind];
        if (message == WM_SETICON) w.icons[kind] = lparam;
      });
      return previous;
    }
    default:
      return 0;
  }
}

uint32_t RegisterMessageName(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  // The same number in every process without a shared atom table: a hash of the name
  // (names compare without regard to case) into the registered range 0xC000-0xFFFF.
  uint32_t hash = 2166136261u;
  for (char c : ToLowerAscii(name)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return 0xC000u + hash % 0x4000u;
}

void* SubclassWindow(WindowHandle window, WindowProcedure procedure) {
  WindowProcedure previous = nullptr;
  if (!posix::Modify(FromHandle(window), [&](posix::Window& w) {
        previous = w.procedure;
        w.procedure = procedure;
      })) {
    return nullptr;
  }
  return reinterpret_cast<void*>(previous);
}

LResult CallSavedProcedure(void* saved, WindowHandle window, uint32_t message, WParam wparam,
                           LParam lparam) {
  if (saved == nullptr) return 0;
  return reinterpret_cast<WindowProcedure>(saved)(window, message, wparam, lparam);
}

WindowHandle DialogItem(WindowHandle dialog, int control_id) {
  auto parent = FindLocal(FromHandle(dialog));
  if (!parent) return nullptr;
  std::vector<uint64_t> children;
  posix::Inspect(parent->handle, [&](posix::Window& w) { children = w.children; });
  for (uint64_t child : children) {
    auto window = FindLocal(child);
    if (window && window->id == control_id) return ToHandle(child);
  }
  return nullptr;
}

int ControlId(WindowHandle window) {
  int id = 0;
  posix::Inspect(FromHandle(window), [&](posix::Window& w) { id = w.id; });
  return id;
}

bool SetDialogItemTitle(WindowHandle dialog, int control_id, const std::string& text) {
  WindowHandle item = DialogItem(dialog, control_id);
  return item != nullptr && SetWindowTitle(item, text);
}

std::string DialogItemTitle(WindowHandle dialog, int control_id) {
  WindowHandle item = DialogItem(dialog, control_id);
  return item == nullptr ? std::string() : WindowText(item);
}

bool SetFocusTo(WindowHandle window) {
  return FindLocal(FromHandle(window)) != nullptr;
}
bool SetForeground(WindowHandle window) {
  return IsWindowAlive(window);
}

bool ClientRect(WindowHandle window, Rect* rect) {
  return posix::Inspect(FromHandle(window), [&](posix::Window& w) {
    *rect = Rect{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
  });
}

bool ChildRectInParent(WindowHandle child, Rect* rect) {
  return posix::Inspect(FromHandle(child), [&](posix::Window& w) { *rect = w.rect; });
}

bool MoveWindowTo(WindowHandle window, const Rect& rect, bool) {
  bool resized = false;
  if (!posix::Modify(FromHandle(window), [&](posix::Window& w) {
        resized = w.rect.right - w.rect.left != rect.right - rect.left ||
                  w.rect.bottom - w.rect.top != rect.bottom - rect.top;
        w.rect = rect;
      })) {
    return false;
  }
  if (resized) {
    const auto width = static_cast<uint32_t>(rect.right - rect.left) & 0xFFFF;
    const auto height = static_cast<uint32_t>(rect.bottom - rect.top) & 0xFFFF;
    SendWindowMessage(window, WM_SIZE, 0, static_cast<LParam>(width | (height << 16)));
  }
  return true;
}

// Without a frame, the client area is the whole window.
bool ResizeClientArea(WindowHandle window, int32_t width, int32_t height) {
  Rect rect;
  if (!ChildRectInParent(window, &rect)) return false;
  return MoveWindowTo(window, Rect{rect.left, rect.top, rect.left + width, rect.top + height},
                      true);
}

bool RedrawWhole(WindowHandle window) {
  return FindLocal(FromHandle(window)) != nullptr;
}

uint32_t WindowStyle(WindowHandle window) {
  uint32_t style = 0;
  posix::Inspect(FromHandle(window), [&](posix::Window& w) { style = w.style; });
  return style;
}

bool SetWindowStyle(WindowHandle window, uint32_t style) {
  return posix::Modify(FromHandle(window), [&](posix::Window& w) { w.style = style; });
}

bool CursorPosition(Point* point) {
  *point = Point{};
  return true;
}

namespace {
std::atomic<uint64_t> signal_target{0};
int signal_pipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(signal_pipe[1], &byte, 1);
}
}  // namespace

void RouteTerminationSignals(WindowHandle window) {
  signal_target.store(FromHandle(window));
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(signal_pipe, O_CLOEXEC) != 0) return;
    // A signal handler may only write to the pipe; this thread turns the byte into
    // WM_CLOSE for the main window, as the system's shutdown would send it.
    std::thread([] {
      char byte = 0;
      for (;;) {
        const ssize_t n = read(signal_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const uint64_t target = signal_target.load();
        if (target != 0) PostWindowMessage(ToHandle(target), WM_CLOSE, 0, 0);
      }
    }).detach();
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
  });
}

}  // namespace orvex::platform
