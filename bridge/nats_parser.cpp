#include "bridge/nats_parser.h"

#include <charconv>

#include "base/no_case.h"
#include "base/trim_space.h"

namespace orvex::bridge {
namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool ParseSize(std::string_view text, size_t* out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

const std::string* NatsHeaders::Find(std::string_view name) const {
  for (const auto& [key, value] : fields) {
    if (EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
}

bool ParseNatsHeaders(std::string_view block, NatsHeaders* out) {
  *out = NatsHeaders{};
  size_t end = block.find("\r\n");
  if (end == std::string_view::npos || block.substr(0, 8) != "NATS/1.0") return false;
  const std::string_view status = TrimSpace(block.substr(8, end - 8));
  if (!status.empty()) {
    const std::string_view code = status.substr(0, status.find(' '));
    std::from_chars(code.data(), code.data() + code.size(), out->status);
    if (code.size() < status.size()) out->description = TrimSpace(status.substr(code.size()));
  }
  size_t at = end + 2;
  while (at < block.size()) {
    end = block.find("\r\n", at);
    if (end == std::string_view::npos) return false;
    const std::string_view line = block.substr(at, end - at);
    at = end + 2;
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    out->fields.emplace_back(TrimSpace(line.substr(0, colon)), TrimSpace(line.substr(colon + 1)));
  }
  return true;
}

std::string FormatNatsHeaders(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string block = "NATS/1.0\r\n";
  for (const auto& [key, value] : fields) block += key + ": " + value + "\r\n";
  return block + "\r\n";
}

void NatsParser::Reset() {
  line_.clear();
  in_payload_ = false;
  body_.clear();
  error_.clear();
}

bool NatsParser::Feed(std::string_view data, std::vector<NatsOp>* out) {
  while (!data.empty()) {
    if (in_payload_) {
      const size_t take = std::min(needed_, data.size());
      // Oversized payloads are only counted down, never stored.
      if (!pending_.oversized) body_.append(data.substr(0, take));
      needed_ -= take;
      data.remove_prefix(take);
      if (needed_ > 0) return true;
      in_payload_ = false;
      if (!pending_.oversized) {
        if (body_.size() < 2 || body_.compare(body_.size() - 2, 2, "\r\n") != 0) {
          return Fail("message payload not followed by CRLF");
        }
        body_.resize(body_.size() - 2);
        if (pending_.has_headers) {
          if (!ParseNatsHeaders(std::string_view(body_).substr(0, header_size_),
                                &pending_.headers)) {
            return Fail("bad message headers");
          }
          body_.erase(0, header_size_);
        }
        pending_.payload = std::move(body_);
      }
      body_.clear();
      out->push_back(std::move(pending_));
      pending_ = NatsOp{};
      continue;
    }
    const size_t newline = data.find('\n');
    const size_t take = newline == std::string_view::npos ? data.size() : newline + 1;
    if (line_.size() + take > kMaxControlLine) return Fail("control line too long");
    line_.append(data.substr(0, take));
    data.remove_prefix(take);
    if (newline == std::string_view::npos) return true;
    std::string line = std::move(line_);
    line_.clear();
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!ParseControl(line, out)) return false;
  }
  return true;
}

bool NatsParser::ParseControl(std::string_view line, std::vector<NatsOp>* out) {
  const std::string_view verb = line.substr(0, line.find(' '));
  const std::string_view rest = verb.size() < line.size() ? line.substr(verb.size() + 1) : "";
  NatsOp op;
  if (EqualsNoCase(verb, "MSG")) return StartMessage(rest, false);
  if (EqualsNoCase(verb, "HMSG")) return StartMessage(rest, true);
  if (EqualsNoCase(verb, "PING")) {
    op.kind = NatsOp::Kind::kPing;
  } else if (EqualsNoCase(verb, "PONG")) {
    op.kind = NatsOp::Kind::kPong;
  } else if (EqualsNoCase(verb, "+OK")) {
    op.kind = NatsOp::Kind::kOk;
  } else if (EqualsNoCase(verb, "-ERR")) {
    op.kind = NatsOp::Kind::kErr;
    std::string_view text = TrimSpace(rest);
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
      text = text.substr(1, text.size() - 2);
    }
    op.text = text;
  } else if (EqualsNoCase(verb, "INFO")) {
    op.kind = NatsOp::Kind::kInfo;
    op.text = TrimSpace(rest);
  } else {
    return Fail("unknown operation '" + std::string(verb.substr(0, 32)) + "'");
  }
  out->push_back(std::move(op));
  return true;
}

bool NatsParser::StartMessage(std::string_view args, bool with_headers) {
  const std::vector<std::string_view> words = Words(args);
  // MSG subject sid [reply] size; HMSG subject sid [reply] header-size total-size
  const size_t sizes = with_headers ? 2 : 1;
  if (words.size() != 2 + sizes && words.size() != 3 + sizes) return Fail("bad message line");
  pending_ = NatsOp{};
  pending_.kind = NatsOp::Kind::kMsg;
  pending_.subject = words[0];
  pending_.sid = words[1];
  if (words.size() == 3 + sizes) pending_.reply = words[2];
  size_t total = 0;
  header_size_ = 0;
  if (!ParseSize(words.back(), &total)) return Fail("bad message size");
  if (with_headers &&
      (!ParseSize(words[words.size() - 2], &header_size_) || header_size_ > total)) {
    return Fail("bad header size");
  }
  pending_.has_headers = with_headers;
  pending_.size = total - header_size_;
  pending_.oversized = pending_.size > max_payload_;
  if (!pending_.oversized) body_.reserve(total + 2);
  needed_ = total + 2;
  in_payload_ = true;
  return true;
}

}  // namespace orvex::bridge
