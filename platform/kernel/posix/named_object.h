#pragma once
// Shared-memory objects with Windows kernel-object lifetime, for the POSIX backend.
//
// An object is a file "<kind>.<escaped name>" in the effective user's private folder
// /dev/shm/orvex-<euid> (mode 0700). Every holder keeps a shared flock on its own
// descriptor of the file, which the kernel drops when the holder ends, however it ends.
// A file that nobody holds is stale: it is removed when its name is next created or
// opened, and by the last holder's close. All name operations run under the folder's
// lock file, so testing for holders, creating, initialising and removing never
// interleave between processes. A folder, lock file or object file that is not the
// user's own (owner, mode, type checked on the open descriptor) is refused, never used;
// so is a file some process holds exclusively (no lock here is ever waited for).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvex::platform::posix {

enum class ObjectKind : char { kMapping = 'm', kMutex = 'x', kEvent = 'e' };

struct SharedObject {
  int fd = -1;
  size_t size = 0;        // size of the object as its creator set it
  std::string file_name;  // inside ObjectFolder()
};

// The effective user's folder of shared objects: <runtime>/orvex when the user's runtime
// folder /run/user/<euid> is a real folder of theirs that nobody else may enter (no
// other user can make or squat anything in it), else /dev/shm/orvex-<euid>. Every
// process of the user decides alike, from the same files.
std::string ObjectFolder();
// Why the shared objects cannot be made ("" when they can): the folder and, when
// another user made it, its owner.
std::string ObjectFolderProblem();

// The file name (inside ObjectFolder()) used for the Windows-style `name` of an object
// of `kind`.
std::string ObjectFileName(ObjectKind kind, const std::string& name);

// Creates the object with `size` bytes (calling `init` on a mapping of the new,
// zero-filled object before anyone else can open it) or attaches to the live object
// of that name. Returns false on failure, also when the folder or an existing file of
// that name is refused.
bool CreateOrAttach(ObjectKind kind, const std::string& name, size_t size,
                    const std::function<void(void*)>& init, SharedObject* object,
                    bool* already_existed);

// Attaches to the live object of that name; false (creating nothing) when none exists
// or it is refused.
bool OpenExisting(ObjectKind kind, const std::string& name, SharedObject* object);

// Name operations wait at most 1000 ms for the folder's lock file (held by another
// process for longer, they fail), and after such a time-out at most 20 ms for the next
// 2 s. Tests shorten the first wait here, which also forgets earlier time-outs.
void SetNamespaceLockWaitForTesting(uint32_t ms);

// True when this thread's last name operation failed because another process held
// the folder's lock file for longer than the wait above.
bool NamespaceLockHeldElsewhere();
// The lock file's path.
std::string NamespaceLockPath();
// Takes (or drops) the lock file as another process would, for tests of that case.
bool HoldNamespaceLockForTesting(bool hold);

// Drops this holder's hold; removes the name when no other holder remains. Without
// the namespace lock the hold is kept and dropped by the next name operation of this
// process that gets the lock.
void Release(SharedObject* object);

// Removes every object file of this user that no process holds any more (leftovers of
// killed holders, which are otherwise removed only when their name is used again).
// Files that are refused (not the user's own) are left alone. Returns how many went.
size_t SweepStaleObjects();

}  // namespace orvex::platform::posix
