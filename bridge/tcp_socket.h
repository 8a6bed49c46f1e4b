#pragma once
// The bridge's only contact with the OS network stack: a blocking TCP stream with
// time-outs, over the socket calls of each backend (common/, posix/, win32/).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orvex::bridge {

class TcpSocket {
 public:
  virtual ~TcpSocket() = default;
  // Sends all of `data`; false once the connection is broken or shut down.
  // One sending thread at a time.
  virtual bool SendAll(std::string_view data) = 0;
  // Reads what arrives within `timeout_ms` into `buffer`: the byte count (> 0), 0 when
  // nothing came in time, -1 once the peer closed or the connection broke.
  // One receiving thread at a time.
  virtual int Receive(char* buffer, size_t size, uint32_t timeout_ms) = 0;
  // Ends both directions now: a Receive or SendAll in another thread returns at once.
  // Any thread; the descriptor itself is released by the destructor.
  virtual void Shutdown() = 0;
};

// Connects to `host` (a numeric IPv4 address or a name) on `port` within `timeout_ms`,
// with Nagle's delay off. On failure returns null and says why in *error.
std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, uint16_t port, uint32_t timeout_ms,
                                      std::string* error);

// A TCP port on 127.0.0.1 nobody listens on right now (0 when none could be found), for
// tests that start servers. Another program may take it before the caller does.
uint16_t FreeLoopbackPort();

}  // namespace orvex::bridge
