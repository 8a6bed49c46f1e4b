// Feeds arbitrary bytes to the classic and V2 value record readers, renders what they
// give, and checks that re-encoding gives the same value.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/value_record.h"

namespace orvex {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckClassic(std::span<const uint8_t> record) {
  const RtdValue v = ReadClassicValueRecord(record);
  (void)v.ToText();
  // Whatever fits one record must come back whole from its re-encoding.
  if (ValueContentUnits(v) <= ClassicRecordCapacity(v) || ClassicRecordCapacity(v) == 0) {
    std::array<uint8_t, kClassicValueRecordSize> out;
    WriteClassicValueRecord(out, v);
    Check(ReadClassicValueRecord(out) == v);
  }
}

void CheckV2(std::span<const uint8_t> record) {
  const RtdValue v = ReadV2ValueRecord(record);
  (void)v.ToText();
  std::vector<uint8_t> out(V2ValueRecordSize(v));
  Check(WriteV2ValueRecord(out, v) == out.size());
  Check(ReadV2ValueRecord(out) == v);
}

}  // namespace
}  // namespace orvex

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> record(data, data + size);
  orvex::CheckClassic(record);
  orvex::CheckV2(record);
  return 0;
}
