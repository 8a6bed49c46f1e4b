#include "bridge/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvex::bridge {
namespace {

std::string PosixError(const char* context, int error) {
  return std::string(context) + ": " + std::strerror(error);
}

class PosixTcpSocket final : public TcpSocket {
 public:
  explicit PosixTcpSocket(int fd) : fd_(fd) {}
  ~PosixTcpSocket() override { close(fd_); }

  bool SendAll(std::string_view data) override {
    while (!data.empty()) {
      const ssize_t sent = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

  int Receive(char* buffer, size_t size, uint32_t timeout_ms) override {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(timeout_ms));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0) return -1;
    const ssize_t got = recv(fd_, buffer, size, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    return got > 0 ? static_cast<int>(got) : -1;
  }

  void Shutdown() override { shutdown(fd_, SHUT_RDWR); }

 private:
  int fd_;
};

// Waits for a non-blocking connect to finish; 0 or the error.
int FinishConnect(int fd, uint32_t timeout_ms) {
  pollfd p{fd, POLLOUT, 0};
  const int ready = poll(&p, 1, static_cast<int>(timeout_ms));
  if (ready == 0) return ETIMEDOUT;
  if (ready < 0) return errno;
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

}  // namespace

std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, uint16_t port, uint32_t timeout_ms,
                                      std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0 || found == nullptr) {
    *error = "cannot resolve " + host + ": " + gai_strerror(resolved);
    return nullptr;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    freeaddrinfo(found);
    *error = PosixError("socket", errno);
    return nullptr;
  }
  int result = connect(fd, found->ai_addr, found->ai_addrlen) == 0 ? 0 : errno;
  freeaddrinfo(found);
  if (result == EINPROGRESS) result = FinishConnect(fd, timeout_ms);
  if (result != 0) {
    close(fd);
    *error = PosixError("connect", result);
    return nullptr;
  }
  // Blocking from here on: Receive polls with its own time-out.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return std::make_unique<PosixTcpSocket>(fd);
}

uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace orvex::bridge
