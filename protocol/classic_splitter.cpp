#include "protocol/classic_splitter.h"

#include <cstring>

#include "protocol/message_layout.h"
#include "protocol/message_text.h"
#include "protocol/value_record.h"
#include "protocol/wire_format.h"

namespace orvex {
namespace {

// TEXT(112) copies up to 113 characters.
constexpr size_t kTopicCharsPerMessage = layout::kTopicTextChars + 1;

// The code for a message whose remaining content does (not) fit, first or later.
uint16_t CodeFor(const SplitCodes& codes, bool fits, bool first) {
  if (!fits) return codes.part;
  return first ? codes.whole : codes.last;
}

// Sets the code and handle of a classic slot and zeroes its body.
void BeginSlot(std::span<uint8_t> slot, uint16_t code, uint32_t handle) {
  std::memset(slot.data() + kMessageHeaderSize, 0, kClassicSlotSize - kMessageHeaderSize);
  wire::StoreU16(slot.data() + 2, code);
  wire::StoreU32(slot.data() + layout::kHandle, handle);
}

}  // namespace

ClassicTextSplitter::ClassicTextSplitter(SplitCodes codes, uint32_t handle, std::string_view text)
    : codes_(codes), handle_(handle), text_(TextBeforeNul(text)) {}

uint16_t ClassicTextSplitter::NextCode() const {
  return CodeFor(codes_, text_.size() - offset_ <= kTopicCharsPerMessage, offset_ == 0);
}

size_t ClassicTextSplitter::WriteNext(std::span<uint8_t> slot) {
  if (done_ || slot.size() < kClassicSlotSize) return 0;
  BeginSlot(slot, NextCode(), handle_);
  // Only this message's share is passed on: the field writer looks for a NUL in all it
  // is given, and handing it the whole rest made a long text quadratic to split.
  const size_t n = WriteCountedText(slot.subspan(layout::kHandleText), layout::kTopicTextChars,
                                    std::string_view(text_).substr(offset_, kTopicCharsPerMessage));
  offset_ += n;
  done_ = offset_ >= text_.size();
  return kClassicSlotSize;
}

ClassicValueSplitter::ClassicValueSplitter(SplitCodes codes, uint32_t handle, const RtdValue& value)
    : codes_(codes), handle_(handle), value_(value) {}

ClassicValueSplitter::ClassicValueSplitter(const ClassicValueSplitter& from, const RtdValue& value)
    : codes_(from.codes_),
      handle_(from.handle_),
      value_(value),
      offset_(from.offset_),
      done_(from.done_) {}

size_t ClassicValueSplitter::PartsLeft() const {
  if (done_) return 0;
  const size_t capacity = ClassicRecordCapacity(value_);
  const size_t left = ValueContentUnits(value_) - offset_;
  return capacity == 0 || left == 0 ? 1 : (left + capacity - 1) / capacity;
}

uint16_t ClassicValueSplitter::NextCode() const {
  const size_t capacity = ClassicRecordCapacity(value_);
  const bool fits = capacity == 0 || ValueContentUnits(value_) - offset_ <= capacity;
  return CodeFor(codes_, fits, offset_ == 0);
}

size_t ClassicValueSplitter::WriteNext(std::span<uint8_t> slot) {
  if (done_ || slot.size() < kClassicSlotSize) return 0;
  const uint16_t code = NextCode();
  BeginSlot(slot, code, handle_);
  const bool starts = offset_ == 0 && code == codes_.part;
  offset_ += WriteClassicValueRecord(slot.subspan(kValueRecordOffset), value_, offset_);
  if (starts) slot[kValueRecordOffset + kValueRecordFlags] = kValueStartsFlag;
  done_ = offset_ >= ValueContentUnits(value_);
  return kClassicSlotSize;
}

}  // namespace orvex
