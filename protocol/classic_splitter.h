#pragma once
// Sending long topic texts and values over classic links: a text or value that does
// not fit one 128-byte message goes out as part messages followed by one last-part
// message. Usage, per message: Begin a slot with NextCode(), WriteNext() into it,
// commit; stop when Done() or when the link refuses a slot (parts already sent stay
// sent).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/message_codes.h"
#include "protocol/rtd_value.h"

namespace orvex {

// The three codes of a split family: whole message, part that continues, last part.
struct SplitCodes {
  uint16_t whole;
  uint16_t part;
  uint16_t last;
};

inline constexpr SplitCodes kTopicSplit{MSG_TOPIC, MSG_TOPIC_PART, MSG_TOPIC_LAST};
inline constexpr SplitCodes kTopicAddedSplit{MSG_TOPIC_ADDED, MSG_TOPIC_ADDED_PART,
                                             MSG_TOPIC_ADDED_LAST};
inline constexpr SplitCodes kValueSplit{MSG_VALUE, MSG_VALUE_PART, MSG_VALUE_LAST};
inline constexpr SplitCodes kTopicValueSplit{MSG_TOPIC_VALUE, MSG_TOPIC_VALUE_PART,
                                             MSG_TOPIC_VALUE_LAST};

// Splits a topic text (up to its first NUL) into TEXT(112) messages of 113
// characters each. The splitter keeps its own copy of the text.
class ClassicTextSplitter {
 public:
  ClassicTextSplitter(SplitCodes codes, uint32_t handle, std::string_view text);

  // True once every message has been written.
  bool Done() const { return done_; }
  // The code of the next message: whole, part or last.
  uint16_t NextCode() const;
  // Writes the next message's code and body into `slot` (at least 128 bytes) and
  // moves on. Returns the message size (128), or 0 when Done() or `slot` is short.
  size_t WriteNext(std::span<uint8_t> slot);

 private:
  SplitCodes codes_;
  uint32_t handle_;
  std::string text_;
  size_t offset_ = 0;
  bool done_ = false;
};

// Splits a value into classic value records: 111 characters, 55 wide units or 112
// bytes per message; other types always go whole. The value must outlive the
// splitter and stay unchanged.
class ClassicValueSplitter {
 public:
  ClassicValueSplitter(SplitCodes codes, uint32_t handle, const RtdValue& value);
  // Goes on where `from` stands, over `value`: an unchanged copy of `from`'s value that
  // outlives the original (a sender that keeps the rest for later).
  ClassicValueSplitter(const ClassicValueSplitter& from, const RtdValue& value);

  bool Done() const { return done_; }
  // Messages still to be written.
  size_t PartsLeft() const;
  uint16_t NextCode() const;
  // As ClassicTextSplitter::WriteNext.
  size_t WriteNext(std::span<uint8_t> slot);

 private:
  SplitCodes codes_;
  uint32_t handle_;
  const RtdValue& value_;
  size_t offset_ = 0;
  bool done_ = false;
};

}  // namespace orvex
