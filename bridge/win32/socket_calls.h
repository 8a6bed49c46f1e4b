#pragma once
// The Winsock side of the bridge's TCP stream (common/tcp_socket.cpp): the types,
// constants and calls in which BSD sockets and Winsock differ.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace orvex::bridge::os {

using Socket = SOCKET;
using Length = int;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
inline constexpr int kConnectPending = WSAEWOULDBLOCK;
inline constexpr int kTimedOut = WSAETIMEDOUT;
inline constexpr int kRefused = WSAECONNREFUSED;
inline constexpr int kSendFlags = 0;
inline constexpr int kShutdownBoth = SD_BOTH;

// Winsock needs one WSAStartup per process before any socket call.
inline bool StartSockets(std::string* error) {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  if (!started && error != nullptr) *error = "Winsock is not available";
  return started;
}

inline Socket OpenStream(bool non_blocking) {
  const Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  u_long mode = non_blocking ? 1 : 0;
  if (s != kNoSocket && non_blocking) ioctlsocket(s, FIONBIO, &mode);
  return s;
}

inline void CloseSocket(Socket s) {
  closesocket(s);
}

inline void SetBlocking(Socket s) {
  u_long mode = 0;
  ioctlsocket(s, FIONBIO, &mode);
}

// Waits until `s` can be read (or written): > 0 ready with *events, 0 on time-out, < 0
// on failure (LastError tells why).
inline int PollOne(Socket s, bool write, uint32_t timeout_ms, short* events) {
  WSAPOLLFD p{s, static_cast<short>(write ? POLLWRNORM : POLLRDNORM), 0};
  const int ready = WSAPoll(&p, 1, static_cast<INT>(timeout_ms));
  *events = p.revents;
  return ready;
}

inline int LastError() {
  return WSAGetLastError();
}

// A call that failed only because it was interrupted or nothing was there yet.
inline bool Transient(int error) {
  return error == WSAEINTR || error == WSAEWOULDBLOCK;
}

inline std::string ErrorText(int error) {
  return "Winsock error " + std::to_string(error);
}

inline std::string ResolveErrorText(int code) {
  return ErrorText(code);
}

}  // namespace orvex::bridge::os
