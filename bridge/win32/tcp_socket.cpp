#include "bridge/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

namespace orvex::bridge {
namespace {

std::string WindowsError(const char* context, int error) {
  return std::string(context) + ": Winsock error " + std::to_string(error);
}

// Winsock needs one WSAStartup per process before any socket call.
bool StartWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

class WindowsTcpSocket final : public TcpSocket {
 public:
  explicit WindowsTcpSocket(SOCKET s) : socket_(s) {}
  ~WindowsTcpSocket() override { closesocket(socket_); }

  bool SendAll(std::string_view data) override {
    while (!data.empty()) {
      const int chunk = data.size() > (1u << 30) ? (1 << 30) : static_cast<int>(data.size());
      const int sent = send(socket_, data.data(), chunk, 0);
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

  int Receive(char* buffer, size_t size, uint32_t timeout_ms) override {
    WSAPOLLFD p{socket_, POLLRDNORM, 0};
    const int ready = WSAPoll(&p, 1, static_cast<INT>(timeout_ms));
    if (ready == 0) return 0;
    if (ready < 0) return -1;
    const int chunk = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
    const int got = recv(socket_, buffer, chunk, 0);
    return got > 0 ? got : -1;
  }

  void Shutdown() override { shutdown(socket_, SD_BOTH); }

 private:
  SOCKET socket_;
};

// Waits for a non-blocking connect to finish; 0 or the Winsock error.
int FinishConnect(SOCKET s, uint32_t timeout_ms) {
  WSAPOLLFD p{s, POLLWRNORM, 0};
  const int ready = WSAPoll(&p, 1, static_cast<INT>(timeout_ms));
  if (ready == 0) return WSAETIMEDOUT;
  if (ready < 0) return WSAGetLastError();
  int error = 0;
  int length = sizeof(error);
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return WSAGetLastError();
  }
  if (error == 0 && (p.revents & (POLLERR | POLLHUP)) != 0) error = WSAECONNREFUSED;
  return error;
}

}  // namespace

std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, uint16_t port, uint32_t timeout_ms,
                                      std::string* error) {
  if (!StartWinsock()) {
    *error = "Winsock is not available";
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0 || found == nullptr) {
    *error = WindowsError(("cannot resolve " + host).c_str(), resolved);
    return nullptr;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    freeaddrinfo(found);
    *error = WindowsError("socket", WSAGetLastError());
    return nullptr;
  }
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  int result =
      connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 ? 0 : WSAGetLastError();
  freeaddrinfo(found);
  if (result == WSAEWOULDBLOCK) result = FinishConnect(s, timeout_ms);
  if (result != 0) {
    closesocket(s);
    *error = WindowsError("connect", result);
    return nullptr;
  }
  non_blocking = 0;
  ioctlsocket(s, FIONBIO, &non_blocking);
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
  return std::make_unique<WindowsTcpSocket>(s);
}

uint16_t FreeLoopbackPort() {
  if (!StartWinsock()) return 0;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  return port;
}

}  // namespace orvex::bridge
