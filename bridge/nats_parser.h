#pragma once
// The server side of the NATS core protocol as a stream of operations: INFO, MSG, HMSG,
// PING, PONG, +OK, -ERR. Bytes may arrive cut anywhere; the parser keeps what it needs.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex::bridge {

// The header block of an HMSG: the status line's code and description (404 "Message
// Not Found" for a missing key, 503 for no responders) and the fields in order.
struct NatsHeaders {
  int status = 0;
  std::string description;
  std::vector<std::pair<std::string, std::string>> fields;

  // The first field named `name` (names compare without regard to case); null if none.
  const std::string* Find(std::string_view name) const;
};

struct NatsOp {
  enum class Kind { kInfo, kMsg, kPing, kPong, kOk, kErr };
  Kind kind = Kind::kPing;
  std::string text;  // INFO's JSON, -ERR's message
  std::string subject;
  std::string sid;
  std::string reply;
  bool has_headers = false;
  NatsHeaders headers;
  std::string payload;
  // The payload was larger than the parser keeps: `payload` is empty, `size` tells.
  bool oversized = false;
  size_t size = 0;
};

// Parses the header block of an HMSG (`NATS/1.0 ...` up to the blank line). False when
// it is not one.
bool ParseNatsHeaders(std::string_view block, NatsHeaders* out);
// The header block for `fields`, as HPUB sends it.
std::string FormatNatsHeaders(const std::vector<std::pair<std::string, std::string>>& fields);

class NatsParser {
 public:
  // Payloads above `max_payload` bytes are skipped (reported as oversized).
  explicit NatsParser(size_t max_payload) : max_payload_(max_payload) {}

  // Consumes `data`, appending every operation it completes to *out. False on a
  // protocol error (error() says what); the connection is then useless.
  bool Feed(std::string_view data, std::vector<NatsOp>* out);
  const std::string& error() const { return error_; }
  void Reset();

  // The longest control line accepted (the server's own default limit).
  static constexpr size_t kMaxControlLine = 4096;

 private:
  bool ParseControl(std::string_view line, std::vector<NatsOp>* out);
  bool StartMessage(std::string_view args, bool with_headers);
  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

  size_t max_payload_;
  std::string line_;
  // A message whose payload is being read: `needed` bytes more, CRLF included.
  bool in_payload_ = false;
  size_t header_size_ = 0;
  size_t needed_ = 0;
  NatsOp pending_;
  std::string body_;
  std::string error_;
};

}  // namespace orvex::bridge
