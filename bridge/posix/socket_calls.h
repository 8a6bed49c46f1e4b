#pragma once
// The POSIX side of the bridge's TCP stream (common/tcp_socket.cpp): the types,
// constants and calls in which BSD sockets and Winsock differ.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace orvex::bridge::os {

using Socket = int;
using Length = socklen_t;
inline constexpr Socket kNoSocket = -1;
inline constexpr int kConnectPending = EINPROGRESS;
inline constexpr int kTimedOut = ETIMEDOUT;
inline constexpr int kRefused = ECONNREFUSED;
// A peer that went away must not end the process with SIGPIPE.
inline constexpr int kSendFlags = MSG_NOSIGNAL;
inline constexpr int kShutdownBoth = SHUT_RDWR;

inline bool StartSockets(std::string*) {
  return true;
}

inline Socket OpenStream(bool non_blocking) {
  return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (non_blocking ? SOCK_NONBLOCK : 0), 0);
}

inline void CloseSocket(Socket s) {
  close(s);
}

inline void SetBlocking(Socket s) {
  fcntl(s, F_SETFL, fcntl(s, F_GETFL) & ~O_NONBLOCK);
}

// Waits until `s` can be read (or written): > 0 ready with *events, 0 on time-out, < 0
// on failure (LastError tells why).
inline int PollOne(Socket s, bool write, uint32_t timeout_ms, short* events) {
  pollfd p{s, static_cast<short>(write ? POLLOUT : POLLIN), 0};
  const int ready = poll(&p, 1, static_cast<int>(timeout_ms));
  *events = p.revents;
  return ready;
}

inline int LastError() {
  return errno;
}

// A call that failed only because a signal came or nothing was there yet.
inline bool Transient(int error) {
  return error == EINTR || error == EAGAIN;
}

inline std::string ErrorText(int error) {
  return std::strerror(error);
}

inline std::string ResolveErrorText(int code) {
  return gai_strerror(code);
}

}  // namespace orvex::bridge::os
