// Writes the seed corpora of the fuzz targets: valid messages of every code and value
// records of every type. Usage: fuzz_seed_corpus <corpus folder>; writes
// <folder>/fuzz_messages/ and <folder>/fuzz_value_records/, which must exist.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/classic_splitter.h"
#include "protocol/message_codes.h"
#include "protocol/message_header.h"
#include "protocol/message_writer.h"
#include "protocol/value_record.h"

namespace orvex {
namespace {

using Bytes = std::vector<uint8_t>;

bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<RtdValue> SampleValues() {
  std::vector<RtdValue> v(13);
  v[1].SetInt32(-42);
  v[2].SetInt64(1LL << 40);
  v[3].SetDouble(3.5);
  v[4].SetBool(1);
  v[5].SetText("ACME.LAST");
  v[6].SetWideText(u"caf\u00e9", RtdValueType::kWideText2);
  v[7].SetBytes(Bytes{1, 0xAB, 0});
  v[8].SetDate(19716);
  v[9].SetDateTime(86399);
  v[10].SetText(std::string(200, 't'), RtdValueType::kText2);
  v[11].SetWideText(std::u16string(70, u'w'));
  v[12].SetBytes(Bytes(130, 0x5A));
  return v;
}

// Finishes a message: stamps the header and keeps `size` bytes.
Bytes Finish(Bytes msg, size_t size, uint16_t code) {
  WriteMessageHeader(msg, MessageHeader{1, code, 1000});
  msg.resize(size);
  return msg;
}

std::vector<Bytes> SampleMessages() {
  std::vector<Bytes> out;
  Bytes slot(kClassicSlotSize);
  out.push_back(Finish(slot, WriteRegister(slot, {"ABC", "Publisher", 1, 1}), MSG_REGISTER));
  out.push_back(Finish(slot, WriteRegisterReply(slot, true, "Connected"), MSG_REGISTER_REPLY));
  out.push_back(Finish(slot, WriteDisconnect(slot, "Inactive connection"), MSG_DISCONNECT));
  out.push_back(Finish(slot, WriteHeartbeat(slot, 12345), MSG_HEARTBEAT));
  out.push_back(Finish(slot, WriteHandleOnly(slot, MSG_TOPIC_CLOSE, 7), MSG_TOPIC_CLOSE));
  out.push_back(Finish(slot, WriteHandleOnly(slot, MSG_TOPIC_REMOVED, 7), MSG_TOPIC_REMOVED));
  out.push_back(Finish(slot, WriteHeaderOnly(slot, MSG_CLOSE_ALL), MSG_CLOSE_ALL));
  for (uint16_t code : {MSG_TOPIC, MSG_TEXT_A, MSG_TEXT_B, MSG_TOPIC_ADDED}) {
    out.push_back(Finish(slot, WriteClassicHandleText(slot, code, 9, "@ABC:ACME.LAST"), code));
  }
  const std::vector<uint32_t> ids = {1, 2, 3};
  out.push_back(Finish(slot, WriteClassicRefresh(slot, ids), MSG_REFRESH));
  out.push_back(Finish(slot, WriteSetDefaultPublisher(slot, "ABC"), MSG_SET_DEFAULT_PUBLISHER));
  out.push_back(Finish(slot, WriteMonitor(slot, {1, 1, 1, 1, 1, 1}), MSG_MONITOR));
  out.push_back(Finish(slot, WriteMonitorReply(slot, {3, 2}), MSG_MONITOR_REPLY));
  out.push_back(Finish(slot, WriteClientAdded(slot, {2, 1, 0, "ABC", "Pub"}), MSG_CLIENT_ADDED));
  out.push_back(
      Finish(slot, WriteClientRemoved(slot, {2, "Connection dropped"}), MSG_CLIENT_REMOVED));
  ClassicTextSplitter topic(kTopicSplit, 4, std::string(250, 'T'));
  while (!topic.Done()) {
    const uint16_t code = topic.NextCode();
    out.push_back(Finish(slot, topic.WriteNext(slot), code));
  }
  for (const RtdValue& v : SampleValues()) {
    ClassicValueSplitter split(kValueSplit, 5, v);
    while (!split.Done()) {
      const uint16_t code = split.NextCode();
      out.push_back(Finish(slot, split.WriteNext(slot), code));
    }
    Bytes v2(V2HandleValueSize(v));
    out.push_back(Finish(v2, WriteV2HandleValue(v2, MSG_VALUE_V2, 5, v), MSG_VALUE_V2));
  }
  for (uint16_t code : {MSG_TOPIC_V2, MSG_TEXT_A_V2, MSG_TEXT_B_V2, MSG_TOPIC_ADDED_V2}) {
    Bytes v2(V2HandleTextSize("@ABC,DEF:ACME.LAST"));
    out.push_back(Finish(v2, WriteV2HandleText(v2, code, 6, "@ABC,DEF:ACME.LAST"), code));
  }
  Bytes refresh(V2RefreshSize(ids.size()));
  out.push_back(Finish(refresh, WriteV2Refresh(refresh, ids), MSG_REFRESH_V2));
  return out;
}

std::vector<Bytes> SampleRecords() {
  std::vector<Bytes> out;
  for (const RtdValue& v : SampleValues()) {
    Bytes classic(kClassicValueRecordSize);
    WriteClassicValueRecord(classic, v);
    out.push_back(classic);
    Bytes v2(V2ValueRecordSize(v));
    WriteV2ValueRecord(v2, v);
    out.push_back(v2);
  }
  return out;
}

bool WriteAll(const std::string& folder, const std::vector<Bytes>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "/seed_%03zu.bin", i);
    if (!WriteFile(folder + name, items[i])) return false;
  }
  return true;
}

}  // namespace
}  // namespace orvex

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seed_corpus <corpus folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  if (!orvex::WriteAll(root + "/fuzz_messages", orvex::SampleMessages()) ||
      !orvex::WriteAll(root + "/fuzz_value_records", orvex::SampleRecords())) {
    std::fprintf(stderr, "cannot write the corpus under %s\n", argv[1]);
    return 1;
  }
  return 0;
}
