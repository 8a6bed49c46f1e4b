#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/security.h"

namespace orvex::platform {

// A named shared-memory object. Lives while any process holds it (also after a
// holder is killed); a name nobody holds is free for a new object.
struct MappingObject;

// A mapped view of a mapping object.
struct MappingView {
  void* base = nullptr;
  size_t length = 0;
};

// Creates a zero-filled mapping of `size` bytes named `name`, or attaches to the
// existing object of that name, whose size stays the one its creator chose. Sets
// *already_existed accordingly. Returns nullptr on failure (the caller owns the result
// and releases it with CloseMapping).
MappingObject* CreateMapping(const std::string& name, uint32_t size,
                             const SecurityAttributes* security, bool* already_existed);

// Opens an existing mapping; returns nullptr (and creates nothing) when none exists.
MappingObject* OpenMapping(const std::string& name);

// Maps `size` bytes from the start of the object, or the whole object when size is 0.
// Fails (base nullptr) when `size` exceeds the object.
MappingView MapView(MappingObject* mapping, uint32_t size);
void UnmapView(MappingView view);

// True once another process shrank the object under this view (POSIX only; Windows
// cannot shrink a mapping). The view then reads zeros and keeps what is written to it
// to itself: the object is of no more use and should be closed. Any thread.
bool ViewLost(MappingView view);

// Releases the caller's hold on the object; null is ignored.
void CloseMapping(MappingObject* mapping);

// Where the user's named objects are created and opened one at a time, the file that
// another process of the user can hold to make those operations fail (POSIX); "" on
// Windows, whose kernel needs no such lock.
std::string NameLockPath();
// True when the calling thread's last create or open of a named object (mapping,
// mutex, event) failed because another process held that lock for too long.
bool NameLockWasHeld();

}  // namespace orvex::platform
