#include "private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvex::platform::posix {

int OpenPrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  // Checked on the descriptor, so the folder cannot be swapped between check and use.
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const bool ours = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
                    (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  if (!ours || ((st.st_mode & 0777) != 0700 && fchmod(fd, 0700) != 0)) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

bool IsPrivateFile(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 07777) == 0600;
}

int OpenPrivateFile(int folder_fd, const std::string& name, bool create, bool* created) {
  // O_NONBLOCK: a planted fifo must not stall the open; it changes nothing for files.
  const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = -1;
  if (create) {
    fd = openat(folder_fd, name.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      fchmod(fd, 0600);  // whatever the umask says
      if (created != nullptr) *created = true;
    } else if (errno != EEXIST) {
      return -1;
    }
  }
  if (fd < 0) {
    if (created != nullptr) *created = false;
    fd = openat(folder_fd, name.c_str(), flags);
    if (fd < 0) return -1;
  }
  if (!IsPrivateFile(fd)) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

}  // namespace orvex::platform::posix
