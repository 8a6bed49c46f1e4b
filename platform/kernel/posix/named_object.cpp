#include "named_object.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/timed_lock.h"
#include "private_folder.h"
#include "shared_views.h"

namespace orvex::platform::posix {
namespace {

bool KeepAsIs(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// How long a name operation waits for the namespace lock. Anyone who can open the lock
// file can hold it for ever; the bus must not freeze with it. After one such time-out,
// operations give up sooner while the lock stays held, so a bus pass that needs
// several objects is not stalled for seconds each.
std::atomic<uint32_t> g_namespace_wait_ms{1000};
constexpr auto kContendedWait = std::chrono::milliseconds(20);
constexpr auto kContendedFor = std::chrono::milliseconds(2000);
constexpr auto kRetryPause = std::chrono::milliseconds(1);

using Clock = std::chrono::steady_clock;

// Whether this thread's last name operation failed because another process held the
// lock file: what a caller tells its user instead of "not found".
thread_local bool t_lock_held_elsewhere = false;

std::atomic<int64_t>& LastTimeOut() {
  static std::atomic<int64_t> last{std::numeric_limits<int64_t>::min() / 2};
  return last;
}

// Objects closed while the namespace lock could not be had: still held (shared flock)
// until a later name operation of this process gets the lock and removes them when
// they are the last holder, as Release would have. A file left there would otherwise
// keep its memory until its name is next used.
struct DeferredRelease {
  int fd;
  std::string file_name;
};

std::mutex& DeferredLock() {
  static auto* m = new std::mutex;
  return *m;
}

std::vector<DeferredRelease>& Deferred() {
  static auto* list = new std::vector<DeferredRelease>;
  return *list;
}

// Under the namespace lock.
void FinishDeferred(int folder) {
  std::lock_guard<std::mutex> guard(DeferredLock());
  for (const DeferredRelease& entry : Deferred()) {
    if (flock(entry.fd, LOCK_EX | LOCK_NB) == 0) unlinkat(folder, entry.file_name.c_str(), 0);
    close(entry.fd);
  }
  Deferred().clear();
}

// Serialises name operations: flock on the folder's lock file for other processes, a
// mutex for this one's threads. Both waits are bounded; held() tells the outcome. The
// folder is opened afresh each time, so a process that changes its effective user uses
// that user's folder.
class NamespaceLock {
 public:
  NamespaceLock() {
    t_lock_held_elsewhere = false;
    const auto now = Clock::now();
    const bool contended = now.time_since_epoch().count() - LastTimeOut().load() <
                           std::chrono::duration_cast<Clock::duration>(kContendedFor).count();
    const auto wait = std::chrono::milliseconds(g_namespace_wait_ms.load());
    const auto deadline = now + (contended ? std::min(kContendedWait, wait) : wait);
    if (!Threads().EnterBy(deadline)) {
      NoteTimeOut();
      return;
    }
    threads_held_ = true;
    folder_ = OpenPrivateFolder(ObjectFolder());
    if (folder_ < 0) return;
    lock_ = OpenPrivateFile(folder_, "lock", true, nullptr);
    if (lock_ < 0) return;
    for (;;) {
      if (flock(lock_, LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        FinishDeferred(folder_);
        return;
      }
      if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline) break;
      std::this_thread::sleep_for(kRetryPause);
    }
    if (errno == EWOULDBLOCK) {
      NoteTimeOut();
      t_lock_held_elsewhere = true;
    }
  }
  ~NamespaceLock() {
    if (lock_ >= 0) close(lock_);  // drops the flock
    if (folder_ >= 0) close(folder_);
    if (threads_held_) Threads().Leave();
  }
  NamespaceLock(const NamespaceLock&) = delete;
  NamespaceLock& operator=(const NamespaceLock&) = delete;

  bool held() const { return held_; }
  int folder() const { return folder_; }

 private:
  static TimedLock& Threads() {
    static auto* lock = new TimedLock;
    return *lock;
  }
  static void NoteTimeOut() { LastTimeOut().store(Clock::now().time_since_epoch().count()); }

  bool threads_held_ = false;
  bool held_ = false;
  int folder_ = -1;
  int lock_ = -1;
};

enum class Found { kLive, kFree, kRefused };

// Under the namespace lock: opens the named file if it exists and is held by some
// process, taking a shared hold on it (kLive, *fd set); removes it if nobody holds it
// (kFree, as when it is missing). A file that is not the user's own is kRefused.
Found OpenLiveLocked(int folder, const std::string& file_name, int* fd) {
  *fd = OpenPrivateFile(folder, file_name, false, nullptr);
  if (*fd < 0) return errno == ENOENT ? Found::kFree : Found::kRefused;
  if (flock(*fd, LOCK_EX | LOCK_NB) == 0) {
    // Nobody holds it: a leftover of killed holders.
    unlinkat(folder, file_name.c_str(), 0);
    close(*fd);
    *fd = -1;
    return Found::kFree;
  }
  // Holders keep shared holds; an exclusive one is a peer's doing (it may keep it for
  // ever): the object is refused rather than waited for, under the namespace lock.
  if (flock(*fd, LOCK_SH | LOCK_NB) != 0) {
    close(*fd);
    *fd = -1;
    return Found::kRefused;
  }
  return Found::kLive;
}

bool FillFrom(int fd, const std::string& file_name, SharedObject* object) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  object->fd = fd;
  object->size = static_cast<size_t>(st.st_size);
  object->file_name = file_name;
  return true;
}

}  // namespace

void SetNamespaceLockWaitForTesting(uint32_t ms) {
  g_namespace_wait_ms.store(ms);
  LastTimeOut().store(std::numeric_limits<int64_t>::min() / 2);
}

bool NamespaceLockHeldElsewhere() {
  return t_lock_held_elsewhere;
}

std::string NamespaceLockPath() {
  return ObjectFolder() + "/lock";
}

bool HoldNamespaceLockForTesting(bool hold) {
  static int held = -1;
  if (!hold) {
    if (held >= 0) close(held);
    held = -1;
    return true;
  }
  if (held >= 0) return true;
  // A description of its own: the lock then holds against this process's name
  // operations too, as another process's would.
  const int folder = OpenPrivateFolder(ObjectFolder());
  if (folder < 0) return false;
  const int fd = OpenPrivateFile(folder, "lock", true, nullptr);
  close(folder);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX) != 0) {
    close(fd);
    return false;
  }
  held = fd;
  return true;
}

std::string ObjectFolder() {
  const std::string runtime = "/run/user/" + std::to_string(geteuid());
  struct stat st {};
  if (lstat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
      (st.st_mode & 077) == 0) {
    return runtime + "/orvex";
  }
  return "/dev/shm/orvex-" + std::to_string(geteuid());
}

std::string ObjectFolderProblem() {
  const std::string folder = ObjectFolder();
  const int fd = OpenPrivateFolder(folder);
  if (fd >= 0) {
    close(fd);
    return "";
  }
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return folder + ": " + std::strerror(errno);
  if (st.st_uid != geteuid()) {
    const passwd* owner = getpwuid(st.st_uid);
    return folder + " belongs to another user, " +
           (owner != nullptr ? std::string(owner->pw_name) + " " : std::string()) + "(uid " +
           std::to_string(st.st_uid) + "); only they or root can remove it";
  }
  if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
  return folder + " may be written by other users";
}

std::string ObjectFileName(ObjectKind kind, const std::string& name) {
  std::string out = std::string(1, static_cast<char>(kind)) + ".";
  for (const char c : name) {
    if (KeepAsIs(c)) {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    }
  }
  return out;
}

bool CreateOrAttach(ObjectKind kind, const std::string& name, size_t size,
                    const std::function<void(void*)>& init, SharedObject* object,
                    bool* already_existed) {
  const std::string file_name = ObjectFileName(kind, name);
  NamespaceLock lock;
  if (!lock.held()) return false;
  int fd = -1;
  const Found found = OpenLiveLocked(lock.folder(), file_name, &fd);
  if (found == Found::kRefused) return false;
  if (found == Found::kLive) {
    *already_existed = true;
    if (FillFrom(fd, file_name, object)) return true;
    close(fd);
    return false;
  }
  *already_existed = false;
  bool created = false;
  fd = OpenPrivateFile(lock.folder(), file_name, true, &created);
  if (fd < 0) return false;
  if (!created) {  // cannot happen under the lock; never initialise someone's object
    close(fd);
    return false;
  }
  // A peer may have opened the new file already; its exclusive hold is not waited for.
  // The pages are reserved now, not on first touch: with the file system full (any user
  // can fill it) the create fails, rather than a working link later (SIGBUS).
  bool ok =
      flock(fd, LOCK_SH | LOCK_NB) == 0 && posix_fallocate(fd, 0, static_cast<off_t>(size)) == 0;
  if (ok && init) {
    void* view = MapSharedView(fd, size);
    ok = view != nullptr;
    if (ok) {
      init(view);
      UnmapSharedView(view, size);
    }
  }
  if (ok && FillFrom(fd, file_name, object)) return true;
  unlinkat(lock.folder(), file_name.c_str(), 0);
  close(fd);
  return false;
}

bool OpenExisting(ObjectKind kind, const std::string& name, SharedObject* object) {
  const std::string file_name = ObjectFileName(kind, name);
  NamespaceLock lock;
  if (!lock.held()) return false;
  int fd = -1;
  if (OpenLiveLocked(lock.folder(), file_name, &fd) != Found::kLive) return false;
  if (FillFrom(fd, file_name, object)) return true;
  close(fd);
  return false;
}

void Release(SharedObject* object) {
  if (object->fd < 0) return;
  {
    NamespaceLock lock;
    if (lock.held()) {
      // Converting our shared hold to an exclusive one succeeds only when no other
      // holder is left; then the name goes with us, as a kernel object's would.
      if (flock(object->fd, LOCK_EX | LOCK_NB) == 0) {
        unlinkat(lock.folder(), object->file_name.c_str(), 0);
      }
      close(object->fd);
    } else {
      std::lock_guard<std::mutex> guard(DeferredLock());
      Deferred().push_back({object->fd, object->file_name});
    }
  }
  object->fd = -1;
  object->size = 0;
  object->file_name.clear();
}

size_t SweepStaleObjects() {
  NamespaceLock lock;
  if (!lock.held()) return 0;
  // fdopendir takes over the descriptor it is given; the lock keeps its own.
  const int listing = dup(lock.folder());
  DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
  if (dir == nullptr) {
    if (listing >= 0) close(listing);
    return 0;
  }
  size_t removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string file_name = entry->d_name;
    const char kind = file_name.size() > 2 && file_name[1] == '.' ? file_name[0] : '\0';
    if (kind != static_cast<char>(ObjectKind::kMapping) &&
        kind != static_cast<char>(ObjectKind::kMutex) &&
        kind != static_cast<char>(ObjectKind::kEvent)) {
      continue;  // the lock file, and names that are not ours to judge
    }
    int fd = -1;
    // A listed file that comes back kFree was nobody's and has just been removed.
    switch (OpenLiveLocked(lock.folder(), file_name, &fd)) {
      case Found::kLive:
        close(fd);  // drops only our own hold
        break;
      case Found::kFree:
        ++removed;
        break;
      case Found::kRefused:
        break;
    }
  }
  closedir(dir);
  return removed;
}

}  // namespace orvex::platform::posix
