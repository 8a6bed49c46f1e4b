#pragma once
#include <cstdint>

namespace orvex::platform {

// An operating-system thread.
struct ThreadObject;
using ThreadProc = void (*)(void* arg);

// Starts `proc(arg)` on a new thread and stores its id. nullptr on failure; the
// caller releases the handle with CloseThread (which does not stop the thread).
ThreadObject* StartThread(ThreadProc proc, void* arg, uint32_t* thread_id);

// Ends the thread without its cooperation, with the hazards of doing so: locks it
// holds stay held. Windows ends it at once. POSIX cancels it at its next cancellation
// point and, failing that within a short time, interrupts it with a signal that ends
// it; a thread that blocks that signal and never reaches a cancellation point cannot
// be ended and false is returned. True when the thread has ended.
bool ForceStopThread(ThreadObject* thread);

// Waits up to `timeout_ms` for the thread to end; true when it has.
bool WaitThreadEnd(ThreadObject* thread, uint32_t timeout_ms);

void CloseThread(ThreadObject* thread);

uint32_t CurrentThreadId();
uint32_t CurrentProcessId();

}  // namespace orvex::platform
