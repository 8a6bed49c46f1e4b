#pragma once
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/classic_splitter.h"
#include "protocol/rtd_value.h"

namespace orvex {

// The classic parts of one value that a link has not taken yet, made one at a time as
// it takes them: a large value (16 MB is about 145,000 parts) is never held as that
// many messages, and a reader that keeps up is never a whole value behind. The value
// is kept by shared reference, so the links of one fan-out keep one copy.
class ValueParts {
 public:
  // Goes on where `from` stands, over `value` (an unchanged copy of `from`'s value);
  // every part carries `tick` in its header.
  ValueParts(const ClassicValueSplitter& from, std::shared_ptr<const RtdValue> value,
             uint32_t tick);

  bool Done() const { return splitter_.Done(); }
  // Writes the next part into `slot` (at least 128 bytes) with the header of the link
  // `id`: a message as the link would have got it had it been made at once.
  void WriteNext(uint16_t id, std::span<uint8_t> slot);
  // Bytes of the messages still to come: what the rest costs the link, counted as if
  // the messages were held.
  uint64_t bytes() const;
  uint32_t tick() const { return tick_; }

 private:
  std::shared_ptr<const RtdValue> value_;
  ClassicValueSplitter splitter_;
  uint32_t tick_;
};

}  // namespace orvex
