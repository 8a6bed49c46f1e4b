// The bridge's TCP stream on both backends: the BSD socket calls Winsock shares, with
// what differs (types, error codes, polling, start-up) in each backend's socket_calls.h.
#include "bridge/tcp_socket.h"

#include "socket_calls.h"

namespace orvex::bridge {
namespace {

// Winsock counts bytes in an int; one call moves at most this much.
constexpr size_t kMostPerCall = size_t{1} << 30;

int Chunk(size_t size) {
  return static_cast<int>(size < kMostPerCall ? size : kMostPerCall);
}

class StreamSocket final : public TcpSocket {
 public:
  explicit StreamSocket(os::Socket s) : socket_(s) {}
  ~StreamSocket() override { os::CloseSocket(socket_); }

  bool SendAll(std::string_view data) override {
    while (!data.empty()) {
      const auto sent = send(socket_, data.data(), Chunk(data.size()), os::kSendFlags);
      if (sent < 0 && os::Transient(os::LastError())) continue;
      if (sent <= 0) return false;
      data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

  int Receive(char* buffer, size_t size, uint32_t timeout_ms) override {
    short events = 0;
    const int ready = os::PollOne(socket_, false, timeout_ms, &events);
    if (ready == 0 || (ready < 0 && os::Transient(os::LastError()))) return 0;
    if (ready < 0) return -1;
    const auto got = recv(socket_, buffer, Chunk(size), 0);
    if (got < 0 && os::Transient(os::LastError())) return 0;
    return got > 0 ? static_cast<int>(got) : -1;
  }

  void Shutdown() override { shutdown(socket_, os::kShutdownBoth); }

 private:
  os::Socket socket_;
};

// Waits for a non-blocking connect to finish; 0 or the error.
int FinishConnect(os::Socket s, uint32_t timeout_ms) {
  short events = 0;
  const int ready = os::PollOne(s, true, timeout_ms, &events);
  if (ready == 0) return os::kTimedOut;
  if (ready < 0) return os::LastError();
  int error = 0;
  os::Length length = sizeof(error);
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return os::LastError();
  }
  // Wine's Winsock tells of a refused connect through the poll flags alone.
  if (error == 0 && (events & (POLLERR | POLLHUP)) != 0) error = os::kRefused;
  return error;
}

}  // namespace

std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, uint16_t port, uint32_t timeout_ms,
                                      std::string* error) {
  if (!os::StartSockets(error)) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0 || found == nullptr) {
    *error = "cannot resolve " + host + ": " + os::ResolveErrorText(resolved);
    return nullptr;
  }
  const os::Socket s = os::OpenStream(true);
  if (s == os::kNoSocket) {
    freeaddrinfo(found);
    *error = "socket: " + os::ErrorText(os::LastError());
    return nullptr;
  }
  int result = connect(s, found->ai_addr, static_cast<os::Length>(found->ai_addrlen)) == 0
                   ? 0
                   : os::LastError();
  freeaddrinfo(found);
  if (result == os::kConnectPending) result = FinishConnect(s, timeout_ms);
  if (result != 0) {
    os::CloseSocket(s);
    *error = "connect: " + os::ErrorText(result);
    return nullptr;
  }
  // Blocking from here on: Receive polls with its own time-out.
  os::SetBlocking(s);
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
  return std::make_unique<StreamSocket>(s);
}

uint16_t FreeLoopbackPort() {
  if (!os::StartSockets(nullptr)) return 0;
  const os::Socket s = os::OpenStream(false);
  if (s == os::kNoSocket) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  os::Length length = sizeof(address);
  uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  os::CloseSocket(s);
  return port;
}

}  // namespace orvex::bridge
