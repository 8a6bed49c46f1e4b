#include "window_table.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/test_seams.h"
#include "platform/window_messages.h"
#include "private_folder.h"

namespace orvex::platform::posix {

namespace {

// A request, then `payload_size` bytes (the text of WM_SETTEXT). The answer is the
// result, a payload size and that many bytes (the text of WM_GETTEXT).
struct WireRequest {
  uint64_t handle;
  uint64_t wparam;
  int64_t lparam;
  uint32_t message;
  uint32_t wait_for_result;
  uint32_t payload_size;
  uint32_t reserved;
};
struct WireAnswer {
  int64_t result;
  uint32_t payload_size;
  uint32_t reserved;
};

// Texts crossing processes are copied, up to this size; a peer announcing more is
// not believed and its request is dropped.
constexpr uint32_t kMaxPayload = 65536;

// System messages whose parameters point into the sender's memory. The two text
// messages are copied across, as the system does; the others cannot be and are
// refused rather than handing the owner a pointer it must not follow.
bool CarriesPointer(uint32_t message) {
  switch (message) {
    case WM_CREATE:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_COPYDATA:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
    case WM_NCCREATE:
    case WM_NCCALCSIZE:
    case WM_SETTEXT:
    case WM_GETTEXT:
      return true;
    default:
      return false;
  }
}

// $XDG_RUNTIME_DIR when it is the user's own and closed to others, as that variable
// promises; else /tmp/orvex-<euid>. A folder another user made, or may write to, is
// refused (an empty result): they could read the table, plant entries or take over
// the sockets' names. A variable inherited from another user (sudo -E) is ignored, and
// an elevated release run follows none (platform/test_seams.h).
std::string FindTableFolder() {
  std::string base;
  const char* runtime = FollowedVariable("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    const int fd = open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() &&
        (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
      base = std::string(runtime) + "/orvex-windows";
    }
    if (fd >= 0) close(fd);
  }
  if (base.empty()) {
    const std::string user_dir = "/tmp/orvex-" + std::to_string(geteuid());
    const int fd = OpenPrivateFolder(user_dir);
    if (fd < 0) return {};
    close(fd);
    base = user_dir + "/windows";
  }
  const int fd = OpenPrivateFolder(base);
  if (fd < 0) return {};
  close(fd);
  return base;
}

}  // namespace

std::string TableFolder() {
  static std::mutex lock;
  static uid_t user = static_cast<uid_t>(-1);
  static std::string folder;
  std::lock_guard<std::mutex> guard(lock);
  if (user != geteuid()) {
    user = geteuid();
    folder = FindTableFolder();
  }
  return folder;
}

namespace {

uint32_t OwnerPid(uint64_t handle) {
  return static_cast<uint32_t>(handle >> 32);
}

// Start time of a process in clock ticks since boot; 0 when it is gone or a zombie.
// Comparing it with the recorded one tells a reused pid from the owner.
uint64_t ProcessStartTime(uint32_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return 0;
  // The command name may hold spaces and parentheses: fields follow the last ')'.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return 0;
  std::string skip;
  for (int i = 0; i < 18; ++i) fields >> skip;  // fields 4..21
  uint64_t start = 0;
  fields >> start;
  return start;
}

// Paths in the table folder; empty when the folder is refused.
std::string EntryPath(uint64_t handle) {
  const std::string folder = TableFolder();
  if (folder.empty()) return {};
  return folder + "/" + std::to_string(OwnerPid(handle)) + "-" +
         std::to_string(static_cast<uint32_t>(handle)) + ".win";
}

std::string SocketPath(uint32_t pid) {
  const std::string folder = TableFolder();
  if (folder.empty()) return {};
  return folder + "/" + std::to_string(pid) + ".sock";
}

// Reads one entry file; false (and the file removed) when its owner is gone.
bool LoadEntry(const std::string& path, uint64_t handle, TableEntry* entry) {
  std::ifstream in(path);
  std::string start_line;
  if (!std::getline(in, start_line)) return false;
  const uint64_t recorded = std::strtoull(start_line.c_str(), nullptr, 10);
  if (recorded == 0 || ProcessStartTime(OwnerPid(handle)) != recorded) {
    unlink(path.c_str());
    return false;
  }
  std::string visible;
  entry->handle = handle;
  std::getline(in, entry->window_class);
  std::getline(in, visible);
  std::getline(in, entry->title);  // last: a title may be empty
  entry->visible = visible == "1";
  return true;
}

bool SendAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Set while the socket thread serves a request. A message it queued may end the
// process before the answer is written; the exit waits briefly for that answer.
std::atomic<bool> in_service{false};

void Answer(int fd, int64_t result, const std::string& payload) {
  WireAnswer answer{result, static_cast<uint32_t>(payload.size()), 0};
  if (SendAll(fd, &answer, sizeof answer) && !payload.empty()) {
    SendAll(fd, payload.data(), payload.size());
  }
}

void Serve(int fd, const IncomingHandler& handler) {
  WireRequest request{};
  if (!ReadAll(fd, &request, sizeof request) || request.payload_size > kMaxPayload) return;
  std::string text(request.payload_size, '\0');
  if (!text.empty() && !ReadAll(fd, text.data(), text.size())) return;
  const bool wait = request.wait_for_result != 0;
  if (request.message == WM_SETTEXT && wait) {
    text.push_back('\0');  // whatever the peer sent, the text ends
    Answer(fd, handler(request.handle, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.data()), true),
           {});
  } else if (request.message == WM_GETTEXT && wait) {
    const size_t size = std::min<uint64_t>(request.wparam, kMaxPayload);
    std::string buffer(size + 1, '\0');
    int64_t copied = size == 0 ? 0
                               : handler(request.handle, WM_GETTEXT, size,
                                         reinterpret_cast<int64_t>(buffer.data()), true);
    copied = std::clamp<int64_t>(copied, 0, size == 0 ? 0 : static_cast<int64_t>(size) - 1);
    Answer(fd, copied, buffer.substr(0, static_cast<size_t>(copied)));
  } else if (CarriesPointer(request.message)) {
    Answer(fd, 0, {});
  } else {
    Answer(fd, handler(request.handle, request.message, request.wparam, request.lparam, wait), {});
  }
}

void ServeConnection(int fd, const IncomingHandler& handler) {
  in_service.store(true);
  Serve(fd, handler);
  close(fd);
  in_service.store(false);
}

void RemoveOwnFiles() {
  for (int i = 0; i < 500 && in_service.load(); ++i) usleep(1000);
  const std::string prefix = std::to_string(getpid()) + "-";
  const std::string folder = TableFolder();
  if (DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str())) {
    while (dirent* item = readdir(dir)) {
      if (std::strncmp(item->d_name, prefix.c_str(), prefix.size()) == 0) {
        unlink((folder + "/" + item->d_name).c_str());
      }
    }
    closedir(dir);
  }
  unlink(SocketPath(static_cast<uint32_t>(getpid())).c_str());
}

}  // namespace

bool PublishEntry(const TableEntry& entry) {
  const std::string path = EntryPath(entry.handle);
  if (path.empty()) return false;
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) return false;
    // A title cannot break the format: it is the last line and read whole.
    out << ProcessStartTime(OwnerPid(entry.handle)) << '\n'
        << entry.window_class << '\n'
        << (entry.visible ? "1" : "0") << '\n'
        << entry.title.substr(0, entry.title.find('\n'));
    if (!out.flush()) return false;
  }
  return rename(temporary.c_str(), path.c_str()) == 0;
}

void WithdrawEntry(uint64_t handle) {
  unlink(EntryPath(handle).c_str());
}

bool ListEntries(std::vector<TableEntry>* entries) {
  entries->clear();
  const std::string folder = TableFolder();
  if (folder.empty()) return false;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  std::vector<std::pair<uint64_t, std::string>> files;
  while (dirent* item = readdir(dir)) {
    unsigned pid = 0, serial = 0;
    char tail[8] = {};
    if (std::sscanf(item->d_name, "%u-%u.%7s", &pid, &serial, tail) == 3 &&
        std::strcmp(tail, "win") == 0) {
      files.emplace_back((static_cast<uint64_t>(pid) << 32) | serial, folder + "/" + item->d_name);
    } else if (std::sscanf(item->d_name, "%u.%7s", &pid, tail) == 2 &&
               std::strcmp(tail, "sock") == 0 && ProcessStartTime(pid) == 0) {
      unlink((folder + "/" + item->d_name).c_str());  // its owner was killed
    }
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  for (const auto& [handle, path] : files) {
    TableEntry entry;
    if (LoadEntry(path, handle, &entry)) entries->push_back(std::move(entry));
  }
  return true;
}

bool ReadEntry(uint64_t handle, TableEntry* entry) {
  return LoadEntry(EntryPath(handle), handle, entry);
}

bool StartMessageSocket(const IncomingHandler& handler) {
  static std::mutex lock;
  static bool started = false;
  std::lock_guard<std::mutex> guard(lock);
  if (started) return true;
  const std::string path = SocketPath(static_cast<uint32_t>(getpid()));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  unlink(path.c_str());  // a stale socket of an earlier process with our pid
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return false;
  }
  std::atexit(RemoveOwnFiles);
  // One connection at a time: a sender waiting for our loop holds up later senders,
  // as a hung window does on Windows.
  std::thread([fd, handler] {
    for (;;) {
      const int connection = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      ServeConnection(connection, handler);
    }
  }).detach();
  started = true;
  return true;
}

bool DeliverRemote(uint64_t handle, uint32_t message, uint64_t wparam, int64_t lparam,
                   bool wait_for_result, int64_t* result) {
  // Pointer-carrying messages can only be sent, never posted, as on Windows.
  if (CarriesPointer(message) && !wait_for_result) return false;
  TableEntry entry;
  if (!ReadEntry(handle, &entry)) return false;
  std::string text;
  if (message == WM_SETTEXT && lparam != 0) {
    text = reinterpret_cast<const char*>(lparam);
    if (text.size() > kMaxPayload) text.resize(kMaxPayload);
  }
  const std::string path = SocketPath(OwnerPid(handle));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  WireRequest request{handle,
                      wparam,
                      lparam,
                      message,
                      wait_for_result ? 1u : 0u,
                      static_cast<uint32_t>(text.size()),
                      0};
  WireAnswer answer{};
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            SendAll(fd, &request, sizeof request) &&
            (text.empty() || SendAll(fd, text.data(), text.size())) &&
            ReadAll(fd, &answer, sizeof answer) && answer.payload_size <= kMaxPayload;
  std::string reply(ok ? answer.payload_size : 0, '\0');
  ok = ok && (reply.empty() || ReadAll(fd, reply.data(), reply.size()));
  close(fd);
  if (!ok) return false;
  if (message == WM_GETTEXT && lparam != 0 && wparam > 0) {
    const size_t n = std::min<size_t>(reply.size(), wparam - 1);
    std::memcpy(reinterpret_cast<char*>(lparam), reply.data(), n);
    reinterpret_cast<char*>(lparam)[n] = '\0';
    answer.result = static_cast<int64_t>(n);
  }
  if (result != nullptr) *result = answer.result;
  return true;
}

}  // namespace orvex::platform::posix
