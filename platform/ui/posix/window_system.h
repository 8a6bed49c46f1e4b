#pragma once
// The headless window system of the POSIX backend: the windows of this process, their
// procedures and the process's message queue. Procedures are never called with the
// state lock held, so a procedure may create, destroy or message windows freely.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace orvex::platform::posix {

struct Window {
  uint64_t handle = 0;
  std::string window_class;
  std::string title;
  uint32_t style = 0;
  bool visible = false;
  WindowProcedure procedure = nullptr;
  DialogProcedure dialog_procedure = nullptr;  // dialogs only
  uint64_t parent = 0;
  int id = 0;
  Rect rect;  // top-level: screen; child: parent's client co-ordinates
  std::vector<uint64_t> children;
  std::thread::id thread;
  LParam icons[2] = {};   // WM_SETICON small, big
  LParam images[2] = {};  // BM_SETIMAGE bitmap, icon
  bool listed = false;    // entered in the window table
  bool modal = false;     // run by RunModalDialogFromTemplate
  bool ended = false;     // EndDialogWith was called
  intptr_t end_result = 0;
};

inline WindowHandle ToHandle(uint64_t value) {
  return reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(value));
}
inline uint64_t FromHandle(WindowHandle window) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
}
bool IsLocalHandle(uint64_t handle);

// Creates a window of this process (not yet in the table, no message sent).
std::shared_ptr<Window> NewWindow(const std::string& window_class, const std::string& title,
                                  uint32_t style, WindowProcedure procedure, uint64_t parent);
std::shared_ptr<Window> FindLocal(uint64_t handle);
// Enters a top-level window in the window table and keeps its entry current.
bool List(const std::shared_ptr<Window>& window);
void Republish(const Window& window);
// Runs `change` on the window under the state lock; false when it does not exist.
template <typename Change>
bool Modify(uint64_t handle, Change change);
// Inspect does the same without refreshing the table entry afterwards.
template <typename Look>
bool Inspect(uint64_t handle, Look look);
bool ModifyWindow(uint64_t handle, void (*change)(Window&, const void*), const void* arg,
                  bool republish);

// Calls the window's procedure on this thread; 0 when the window is gone.
LResult CallProcedure(uint64_t handle, uint32_t message, WParam wparam, LParam lparam);
// Queues a message for the loop; false when the window is gone.
bool Enqueue(uint64_t handle, uint32_t message, WParam wparam, LParam lparam);
// Hands a message to the loop and waits until the loop has processed it.
LResult SendThroughLoop(uint64_t handle, uint32_t message, WParam wparam, LParam lparam);
// Destroys a window of this process and its children.
bool Destroy(uint64_t handle);

// Procedure of the built-in controls ("BUTTON", "STATIC"...) and of dialog frames.
LResult ControlProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
LResult DialogFrameProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

template <typename Change>
bool Modify(uint64_t handle, Change change) {
  return ModifyWindow(
      handle, [](Window& w, const void* arg) { (*static_cast<const Change*>(arg))(w); }, &change,
      true);
}

template <typename Look>
bool Inspect(uint64_t handle, Look look) {
  return ModifyWindow(
      handle, [](Window& w, const void* arg) { (*static_cast<const Look*>(arg))(w); }, &look,
      false);
}

}  // namespace orvex::platform::posix
