#include "named_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace orvex::platform::posix {
namespace {

bool KeepAsIs(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// Serialises name operations: flock for other processes, a mutex for this one's
// threads (flock does not exclude holders of the same open file).
class NamespaceLock {
 public:
  NamespaceLock() : guard_(ThreadLock()) {
    fd_ = LockFd();
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~NamespaceLock() {
    if (fd_ >= 0) flock(fd_, LOCK_UN);
  }
  NamespaceLock(const NamespaceLock&) = delete;
  NamespaceLock& operator=(const NamespaceLock&) = delete;

 private:
  static std::mutex& ThreadLock() {
    static std::mutex* m = new std::mutex;
    return *m;
  }
  static int LockFd() {
    static const int fd = [] {
      const std::string name = "/orvex." + std::to_string(getuid()) + ".lock";
      const int f = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (f >= 0) fchmod(f, 0600);
      return f;
    }();
    return fd;
  }
  std::lock_guard<std::mutex> guard_;
  int fd_ = -1;
};

// Under the namespace lock: opens the named file if it exists and is held by some
// process, taking a shared hold on it; removes it if nobody holds it. -1 otherwise.
int OpenLiveLocked(const std::string& shm_name) {
  const int fd = shm_open(shm_name.c_str(), O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Nobody holds it: a leftover of killed holders.
    shm_unlink(shm_name.c_str());
    close(fd);
    return -1;
  }
  // Only namespace-lock holders ever take the exclusive lock, so this cannot block.
  if (flock(fd, LOCK_SH) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool FillFrom(int fd, const std::string& shm_name, SharedObject* object) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  object->fd = fd;
  object->size = static_cast<size_t>(st.st_size);
  object->shm_name = shm_name;
  return true;
}

}  // namespace

std::string ShmNameFor(ObjectKind kind, const std::string& name) {
  std::string out = "/orvex." + std::to_string(getuid()) + "." + static_cast<char>(kind) + ".";
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
  const std::string shm_name = ShmNameFor(kind, name);
  NamespaceLock lock;
  int fd = OpenLiveLocked(shm_name);
  if (fd >= 0) {
    *already_existed = true;
    if (FillFrom(fd, shm_name, object)) return true;
    close(fd);
    return false;
  }
  *already_existed = false;
  fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  fchmod(fd, 0600);  // whatever the umask says
  bool ok = flock(fd, LOCK_SH) == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
  if (ok && init) {
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ok = view != MAP_FAILED;
    if (ok) {
      init(view);
      munmap(view, size);
    }
  }
  if (ok && FillFrom(fd, shm_name, object)) return true;
  shm_unlink(shm_name.c_str());
  close(fd);
  return false;
}

bool OpenExisting(ObjectKind kind, const std::string& name, SharedObject* object) {
  const std::string shm_name = ShmNameFor(kind, name);
  NamespaceLock lock;
  const int fd = OpenLiveLocked(shm_name);
  if (fd < 0) return false;
  if (FillFrom(fd, shm_name, object)) return true;
  close(fd);
  return false;
}

void Release(SharedObject* object) {
  if (object->fd < 0) return;
  {
    NamespaceLock lock;
    // Converting our shared hold to an exclusive one succeeds only when no other
    // holder is left; then the name goes with us, as a kernel object's would.
    if (flock(object->fd, LOCK_EX | LOCK_NB) == 0) shm_unlink(object->shm_name.c_str());
    close(object->fd);
  }
  object->fd = -1;
  object->size = 0;
  object->shm_name.clear();
}

}  // namespace orvex::platform::posix
