#pragma once
// The receiving side of split messages: one joiner per sending client collects the
// parts of a topic text (MSG_TOPIC_PART, MSG_TOPIC_LAST) and of a value
// (MSG_VALUE_PART, MSG_VALUE_LAST) until the last part completes them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/rtd_value.h"

namespace orvex {

class SplitJoiner {
 public:
  // A joined text or value never grows beyond this many bytes (the largest V2
  // payload); a peer that keeps sending parts cannot exhaust memory, and the excess
  // of its parts is dropped.
  static constexpr size_t kMaxJoinedBytes = 16777215;

  // Appends a part of a topic text (up to its first NUL) sent under `handle`. Parts
  // buffered under another handle are left-overs of an aborted split or of another
  // topic: they are dropped first.
  void AppendTopicText(uint32_t handle, std::string_view part);
  // Returns the joined topic text and empties the buffer.
  std::string TakeTopicText();
  // Drops buffered topic-text parts (a whole message arrived between them).
  void ClearTopicText();
  const std::string& PendingTopicText() const { return topic_text_; }

  // Appends a part of a value sent under `handle`: texts, wide texts and bytes are
  // appended when the buffer holds the same type under the same handle, otherwise the
  // buffer restarts with the part; every other type replaces the buffer. A part that
  // `starts` a value drops what is buffered: the rest of a value its sender gave up on
  // is never joined to the next one.
  void AppendValue(uint32_t handle, const RtdValue& part, bool starts = false);
  // Returns the joined value and empties the buffer.
  RtdValue TakeValue();
  // Drops buffered value parts (a whole message arrived between them).
  void ClearValue();
  const RtdValue& PendingValue() const { return value_; }

 private:
  std::string topic_text_;
  std::optional<uint32_t> topic_handle_;
  RtdValue value_;
  std::optional<uint32_t> value_handle_;
};

}  // namespace orvex
