#include "protocol/split_joiner.h"

#include <algorithm>
#include <utility>

#include "protocol/message_text.h"

namespace orvex {
namespace {

// How many of `wanted` units fit when `held` units of `unit_size` bytes are there.
size_t Room(size_t held, size_t wanted, size_t unit_size) {
  const size_t max_units = SplitJoiner::kMaxJoinedBytes / unit_size;
  return held >= max_units ? 0 : std::min(wanted, max_units - held);
}

}  // namespace

void SplitJoiner::AppendTopicText(uint32_t handle, std::string_view part) {
  if (topic_handle_ != handle) ClearTopicText();
  topic_handle_ = handle;
  part = TextBeforeNul(part);
  topic_text_.append(part.substr(0, Room(topic_text_.size(), part.size(), 1)));
}

std::string SplitJoiner::TakeTopicText() {
  topic_handle_.reset();
  return std::exchange(topic_text_, std::string());
}

void SplitJoiner::ClearTopicText() {
  topic_handle_.reset();
  topic_text_.clear();
}

void SplitJoiner::AppendValue(uint32_t handle, const RtdValue& part, bool starts) {
  if (starts || value_handle_ != handle) ClearValue();
  value_handle_ = handle;
  const RtdValueType type = part.Type();
  if (IsTextType(type)) {
    const size_t held = value_.Type() == type ? value_.Text().size() : 0;
    const std::string_view text = part.Text();
    value_.AppendText(text.substr(0, Room(held, text.size(), 1)), type);
  } else if (IsWideTextType(type)) {
    const size_t held = value_.Type() == type ? value_.WideText().size() : 0;
    const std::u16string_view text = part.WideText();
    value_.AppendWideText(text.substr(0, Room(held, text.size(), 2)), type);
  } else if (type == RtdValueType::kBytes) {
    const size_t held = value_.Type() == type ? value_.Bytes().size() : 0;
    const auto bytes = part.Bytes();
    value_.AppendBytes(bytes.first(Room(held, bytes.size(), 1)));
  } else {
    value_ = part;
  }
}

RtdValue SplitJoiner::TakeValue() {
  RtdValue joined = std::move(value_);
  ClearValue();
  return joined;
}

void SplitJoiner::ClearValue() {
  value_handle_.reset();
  value_.Clear();
}

}  // namespace orvex
