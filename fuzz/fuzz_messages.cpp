// Feeds arbitrary bytes to every message reader, as a V2 record of the input's length
// and as a classic 128-byte slot, and checks that split messages join back to what
// was split.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_reader.h"
#include "protocol/message_writer.h"
#include "protocol/split_joiner.h"

namespace orvex {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// A topic text that is split and joined again must come back unchanged.
void CheckTopicSplit(const HandleText& t) {
  ClassicTextSplitter splitter(kTopicSplit, t.handle, t.text);
  SplitJoiner joiner;
  std::array<uint8_t, kClassicSlotSize> slot;
  std::vector<uint16_t> codes;
  while (!splitter.Done()) {
    codes.push_back(splitter.NextCode());
    Check(splitter.WriteNext(slot) == kClassicSlotSize);
    HandleText part;
    Check(ReadClassicHandleText(slot, &part));
    Check(part.handle == t.handle);
    joiner.AppendTopicText(part.handle, part.text);
  }
  // One whole message, or parts followed by one last part.
  Check(!codes.empty());
  for (size_t i = 0; i + 1 < codes.size(); ++i) Check(codes[i] == MSG_TOPIC_PART);
  Check(codes.back() == (codes.size() == 1 ? MSG_TOPIC : MSG_TOPIC_LAST));
  Check(joiner.TakeTopicText() == t.text);
}

// A value that is split over classic messages and joined again must come back unchanged.
void CheckValueSplit(const HandleValue& hv) {
  ClassicValueSplitter splitter(kValueSplit, hv.handle, hv.value);
  SplitJoiner joiner;
  std::array<uint8_t, kClassicSlotSize> slot;
  size_t messages = 0;
  while (!splitter.Done()) {
    Check(splitter.WriteNext(slot) == kClassicSlotSize);
    HandleValue part;
    Check(ReadClassicHandleValue(slot, &part));
    joiner.AppendValue(part.handle, part.value);
    Check(++messages < 100000);
  }
  Check(joiner.TakeValue() == hv.value);
}

// A V2 value re-encoded and read again must be the same value.
void CheckV2Value(const HandleValue& hv) {
  std::vector<uint8_t> out(V2HandleValueSize(hv.value));
  Check(!out.empty());
  Check(WriteV2HandleValue(out, MSG_VALUE_V2, hv.handle, hv.value) == out.size());
  HandleValue back;
  Check(ReadV2HandleValue(out, &back));
  Check(back.handle == hv.handle && back.value == hv.value);
}

void ReadAll(std::span<const uint8_t> msg) {
  MessageHeader header;
  ReadMessageHeader(msg, &header);
  RegisterRequest reg;
  ReadRegister(msg, &reg);
  RegisterReply reply;
  ReadRegisterReply(msg, &reply);
  std::string text;
  ReadDisconnect(msg, &text);
  ReadSetDefaultPublisher(msg, &text);
  uint32_t handle;
  ReadHandle(msg, &handle);
  HandleText ht;
  if (ReadClassicHandleText(msg, &ht)) CheckTopicSplit(ht);
  if (ReadV2HandleText(msg, &ht)) CheckTopicSplit(ht);
  HandleValue hv;
  if (ReadClassicHandleValue(msg, &hv)) CheckValueSplit(hv);
  if (ReadV2HandleValue(msg, &hv)) {
    CheckV2Value(hv);
    CheckValueSplit(hv);
  }
  RefreshItems items;
  if (ReadClassicRefresh(msg, &items)) Check(items.size() <= kClassicRefreshMaxItems);
  if (ReadV2Refresh(msg, &items)) Check(12 + 4 * items.size() <= msg.size());
  MonitorRequest monitor;
  ReadMonitor(msg, &monitor);
  MonitorReply monitor_reply;
  ReadMonitorReply(msg, &monitor_reply);
  ClientAdded added;
  ReadClientAdded(msg, &added);
  ClientRemoved removed;
  ReadClientRemoved(msg, &removed);
}

}  // namespace
}  // namespace orvex

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copies, so the sanitizer sees any read past the message.
  std::vector<uint8_t> record(data, data + size);
  orvex::ReadAll(record);
  std::array<uint8_t, orvex::kClassicSlotSize> slot{};
  std::copy_n(data, std::min(size, slot.size()), slot.begin());
  orvex::ReadAll(slot);
  return 0;
}
