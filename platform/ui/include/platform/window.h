#pragma once
// Windows, their messages and the message queue of the user-interface thread.
//
// Win32: thin calls of USER32. POSIX: a headless window system of our own. Windows
// live in the process that created them; top-level windows are entered in a per-user
// window table (title, class, owner pid, the owner's message socket) so other
// processes can find them, read their titles and send or post them messages. A
// message sent to another process's window waits until that process's message loop
// has answered it; entries of owners that have ended are ignored and removed.
//
// Names differ from the Win32 functions on purpose: many of those are macros.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvex::platform {

struct WindowObject;
struct ModuleObject;
struct DialogTemplate;
using WindowHandle = WindowObject*;    // HWND on Win32
using ModuleInstance = ModuleObject*;  // HINSTANCE on Win32
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

// A window procedure and a dialog procedure (non-zero: the message was handled).
using WindowProcedure = LResult (*)(WindowHandle window, uint32_t message, WParam, LParam);
using DialogProcedure = intptr_t (*)(WindowHandle dialog, uint32_t message, WParam, LParam);

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct Point {
  int32_t x = 0, y = 0;
};

// One message taken from the queue.
struct QueuedMessage {
  WindowHandle window = nullptr;
  uint32_t message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
};

// The module of the running program (its resources).
ModuleInstance CurrentModule();

// Registers a window class for this process; windows of the class use `procedure`.
// Registering the same name again with the same procedure succeeds.
bool RegisterWindowClass(ModuleInstance module, const char* class_name, uint32_t class_style,
                         WindowProcedure procedure);

// Creates a hidden top-level window of a registered class at the default position and
// size (WM_CREATE is sent first). Null on failure (unknown class, no display on Win32).
WindowHandle CreateTopLevelWindow(ModuleInstance module, const char* class_name, const char* title,
                                  uint32_t style);

// Destroys a window of this process and its children (WM_DESTROY is sent to each);
// its window-table entry disappears. False for an unknown window.
bool DestroyWindowObject(WindowHandle window);

// Whether the handle names an existing window (of any process).
bool IsWindowAlive(WindowHandle window);

// ShowWindow: returns whether the window was visible before.
bool ShowWindowAs(WindowHandle window, int show_command);
bool IsWindowShown(WindowHandle window);

// Title (caption) of any window, also of another process's top-level window; empty
// when unknown. Setting works on windows of this process.
std::string WindowText(WindowHandle window);
bool SetWindowTitle(WindowHandle window, const std::string& text);

// Class name of any window ("#32770" for dialogs and message boxes); empty when unknown.
std::string WindowClassName(WindowHandle window);

// Id of the process that owns the window; 0 when unknown.
uint32_t WindowProcessId(WindowHandle window);

// The first top-level window whose class and title equal the given ones (null = any),
// across all processes of this user; null when none.
WindowHandle FindTopLevelWindow(const char* class_name, const char* title);

// Calls `visit` for every top-level window of this user until it returns false.
// Returns false only when the windows could not be listed.
bool EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit);

// Sends a message and waits for the result. For another thread's or process's window
// the call waits until that thread's message loop has processed it; 0 when the window
// or its owner is gone. Only messages without pointer parameters cross processes.
LResult SendWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

// Queues a message for the window's thread and returns at once; false when the
// window is unknown or its owner is gone.
bool PostWindowMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

// The default handling of a message (DefWindowProcA).
LResult DefaultWindowProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

// Number of a message registered by name; the same name gives the same number in
// every process (RegisterWindowMessageA). 0 on failure.
uint32_t RegisterMessageName(const char* name);

// Waits for the next posted message of this thread, processing messages sent from
// other threads and processes meanwhile. Returns 1 for a message, 0 for WM_QUIT (its
// exit code in wparam), -1 on failure (GetMessageA).
int GetNextMessage(QueuedMessage* message);
void TranslateQueuedMessage(const QueuedMessage& message);
LResult DispatchQueuedMessage(const QueuedMessage& message);
// Whether the dialog manager consumed the message for `dialog` (IsDialogMessageA).
bool IsDialogQueuedMessage(WindowHandle dialog, const QueuedMessage& message);
// Posts WM_QUIT to this thread's queue.
void PostQuit(int exit_code);

// Replaces the window's procedure by `procedure`; the old one is returned for
// CallSavedProcedure. Null on failure.
void* SubclassWindow(WindowHandle window, WindowProcedure procedure);
LResult CallSavedProcedure(void* saved, WindowHandle window, uint32_t message, WParam wparam,
                           LParam lparam);

// Modeless dialog from the program's dialog resource `template_id` or from an
// in-memory template; `procedure` receives WM_INITDIALOG with `param`. Null on failure.
WindowHandle CreateDialogFromResource(ModuleInstance module, int template_id, WindowHandle parent,
                                      DialogProcedure procedure, LParam param);
WindowHandle CreateDialogFromTemplate(ModuleInstance module, const DialogTemplate& dialog,
                                      WindowHandle parent, DialogProcedure procedure, LParam param);
// Modal dialog: runs its own loop until EndDialogWith; returns that result, -1 on failure.
intptr_t RunModalDialogFromTemplate(ModuleInstance module, const DialogTemplate& dialog,
                                    WindowHandle parent, DialogProcedure procedure, LParam param);
bool EndDialogWith(WindowHandle dialog, intptr_t result);

// Child controls of a dialog or window.
WindowHandle DialogItem(WindowHandle dialog, int control_id);
int ControlId(WindowHandle window);
bool SetDialogItemTitle(WindowHandle dialog, int control_id, const std::string& text);
std::string DialogItemTitle(WindowHandle dialog, int control_id);
bool SetFocusTo(WindowHandle window);
bool SetForeground(WindowHandle window);

// Geometry in pixels. The child rectangle is in its parent's client co-ordinates.
bool ClientRect(WindowHandle window, Rect* rect);
bool ChildRectInParent(WindowHandle child, Rect* rect);
bool MoveWindowTo(WindowHandle window, const Rect& rect, bool repaint);
// Sets the outer size so that the client area becomes width x height (WM_SIZE follows).
bool ResizeClientArea(WindowHandle window, int32_t width, int32_t height);
// RedrawWindow with RDW_ERASE|RDW_INVALIDATE.
bool RedrawWhole(WindowHandle window);
uint32_t WindowStyle(WindowHandle window);
bool SetWindowStyle(WindowHandle window, uint32_t style);
bool CursorPosition(Point* point);

// POSIX: SIGTERM and SIGINT post WM_CLOSE to `window` (null: stop doing so). Win32:
// the system closes windows itself; does nothing.
void RouteTerminationSignals(WindowHandle window);

}  // namespace orvex::platform
