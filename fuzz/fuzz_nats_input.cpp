// What a NATS server (or anyone on its subjects) sends the bridge: the protocol stream,
// cut where the first byte says, then every message's header and payload as a value.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "bridge/nats_parser.h"
#include "bridge/wire_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t cut = data[0] % (all.size() + 1);
  orvex::bridge::NatsParser parser(4096);
  std::vector<orvex::bridge::NatsOp> ops;
  if (parser.Feed(all.substr(0, cut), &ops)) parser.Feed(all.substr(cut), &ops);
  for (const orvex::bridge::NatsOp& op : ops) {
    orvex::RtdValue value;
    std::string why;
    orvex::bridge::DecodeValue(op.headers.Find(orvex::bridge::kTypeHeader), op.payload, 1024,
                               &value, &why);
  }
  return 0;
}
