#pragma once
// Views of shared objects that survive the object being shrunk under them.
//
// Any process of the user can ftruncate an object file while this process has it
// mapped; touching the vanished pages then raises SIGBUS, which would end the process.
// Views made here are recorded in a fixed table that a SIGBUS handler reads without
// locks: a fault inside a recorded view puts private zero pages over the whole view
// and marks it lost, and the faulting access goes on against those pages. The owner
// asks ViewLost and gives the object up. A fault anywhere else is passed to the handler
// that was there before, or ends the process as it would have.
#include <cstddef>

namespace orvex::platform::posix {

// Maps `length` bytes of `fd` from offset 0, shared, read-write, and records the view.
// Null on failure. A view is left unrecorded (but still mapped) only when the table
// of thousands of views is full. Any thread.
void* MapSharedView(int fd, size_t length);

// Forgets and unmaps a view made by MapSharedView (`length` as given there). Null is
// ignored. The caller guarantees no other thread still uses the view.
void UnmapSharedView(void* base, size_t length);

// True once the object behind the view at `base` was found shrunk. Cheap while no view
// of the process was ever lost.
bool SharedViewLost(const void* base);

}  // namespace orvex::platform::posix
