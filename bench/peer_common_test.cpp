#include "bench/peer_common.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orvex::bench {
namespace {

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() / (stem + std::to_string(NowNs() % 1000000007ull)))
      .string();
}

TEST(PeerPlan, TravelsThroughTheCommandLineAndRefusesShortPayloads) {
  Plan plan;
  plan.system = "zmq";
  plan.run = "7_3";
  plan.hub = "Local\\Hub";
  plan.dir = "/tmp/x";
  plan.index = 28;
  plan.size = 100;
  plan.rate = 0;
  plan.duration_ms = 1500;
  plan.idle_values = 4;
  Plan back;
  ASSERT_TRUE(Plan::FromArgs(plan.ToArgs(), &back));
  EXPECT_EQ(back.ToArgs(), plan.ToArgs());
  EXPECT_EQ(back.ResultPath("sub28"), "/tmp/x/7_3.sub28");
  auto args = plan.ToArgs();
  args[5] = "15";  // no room for the stamp
  EXPECT_FALSE(Plan::FromArgs(args, &back));
  args.pop_back();
  EXPECT_FALSE(Plan::FromArgs(args, &back));
}

TEST(PeerStamp, CarriesTimeAndSequenceAndFillsTheRest) {
  uint8_t payload[100];
  const uint64_t before = NowNs();
  Stamp(payload, sizeof payload, 42);
  uint64_t sent = 0, seq = 0;
  ReadStamp(payload, &sent, &seq);
  EXPECT_EQ(seq, 42u);
  EXPECT_GE(sent, before);
  EXPECT_LE(sent, NowNs());
  for (size_t i = 16; i < sizeof payload; ++i) EXPECT_EQ(payload[i], 0x5A);
}

TEST(PeerResults, CountGapsAndLatencies) {
  SubResult r;
  r.Take(100, 0, 150);
  r.Take(200, 1, 260);
  r.Take(300, 5, 390);  // 2, 3 and 4 were lost
  r.Take(500, 6, 400);  // a receive "before" the send counts as 0, never as a wrap
  EXPECT_EQ(r.received, 4u);
  EXPECT_EQ(r.gaps, 3u);
  EXPECT_EQ(r.first_ns, 150u);
  EXPECT_EQ(r.last_ns, 400u);
  EXPECT_EQ(r.latency_ns, (std::vector<uint32_t>{50, 60, 90, 0}));
  SubResult slow;
  slow.Take(0, 0, 10000000000ull);  // 10 s does not fit 32 bits: capped
  EXPECT_EQ(slow.latency_ns[0], 0xFFFFFFFFu);
}

TEST(PeerResults, FilesRoundTripAndATruncatedFileIsRefused) {
  SubResult r;
  for (uint64_t i = 0; i < 1000; ++i) r.Take(i, i, i + 7);
  r.cpu_ns = 12345;
  const std::string path = TempPath("peer_sub_");
  ASSERT_TRUE(WriteSubResult(path, r));
  SubResult back;
  ASSERT_TRUE(ReadSubResult(path, &back));
  EXPECT_EQ(back.received, 1000u);
  EXPECT_EQ(back.cpu_ns, 12345u);
  EXPECT_EQ(back.latency_ns, r.latency_ns);
  // A writer that died half-way leaves fewer samples than the count claims.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 8);
  EXPECT_FALSE(ReadSubResult(path, &back));
  std::filesystem::resize_file(path, 20);
  EXPECT_FALSE(ReadSubResult(path, &back));
  std::filesystem::remove(path);
  EXPECT_FALSE(ReadSubResult(path, &back));

  PubResult p{77, 1, 2, 3};
  ASSERT_TRUE(WritePubResult(path, p));
  PubResult q;
  ASSERT_TRUE(ReadPubResult(path, &q));
  EXPECT_EQ(q.sent, 77u);
  EXPECT_EQ(q.end_ns, 3u);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace orvex::bench
