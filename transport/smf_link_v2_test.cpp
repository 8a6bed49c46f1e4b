// V2 links inside one process: a server end (side 0) and a client end (side 1) over
// the same names (and a client in its own process, killed). Record layout, exact fit,
// switching and rewinding, the writer lock, segments a killed client leaves behind,
// and a reader that refuses records a peer broke.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/process.h"
#include "tests/support/child_process.h"
#include "tests/support/object_files.h"
#include "transport/named_event.h"
#include "transport/smf_link_v2.h"

namespace orvex {
namespace {

namespace seg = smf_segment;

struct LinkPair {
  LinkPair() : name(test::UniqueName("Local\\OrvexV2Link")) {
    EXPECT_TRUE(server.Connect(name, 0));
    EXPECT_TRUE(client.Connect(name, 1));
  }
  std::string name;
  SfSMFLinkV2 server;
  SfSMFLinkV2 client;
};

// A second view of a segment, as the peer (or a hostile process) sees it.
struct SegmentView {
  SegmentView(const std::string& name, uint32_t index) {
    EXPECT_TRUE(memory.OpenOrCreate(false, name + "." + std::to_string(index),
                                    SfSMFSegments::ClassSize(index)));
  }
  uint32_t Word(uint32_t offset) { return shm::Load(memory.view(), offset); }
  void SetWord(uint32_t offset, uint32_t value) { shm::Store(memory.view(), offset, value); }
  SfSharedMemory memory;
};

bool Write(SfSMFLinkV2& link, uint32_t length, uint8_t fill) {
  uint8_t* p = link.BeginWrite(length);
  if (p == nullptr) return false;
  std::memset(p, fill, length);
  return link.Commit();
}

// Reads one record and checks it is `length` bytes of `fill`.
void ExpectRecord(SfSMFLinkV2& link, uint32_t length, uint8_t fill) {
  uint32_t got = 0xFFFFFFFF;
  const uint8_t* p = link.Peek(&got);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(got, length);
  for (uint32_t i = 0; i < length; ++i) ASSERT_EQ(p[i], fill) << "byte " << i;
  EXPECT_TRUE(link.Pop());
}

TEST(SfSMFLinkV2Test, RecordsArriveInOrderBothWaysWithExactLengths) {
  LinkPair pair;
  for (uint32_t n = 0; n < 300; ++n) {
    ASSERT_TRUE(Write(pair.server, n, static_cast<uint8_t>(n)));
    ASSERT_TRUE(Write(pair.client, 300 - n, static_cast<uint8_t>(n + 1)));
  }
  for (uint32_t n = 0; n < 300; ++n) {
    ExpectRecord(pair.client, n, static_cast<uint8_t>(n));
    ExpectRecord(pair.server, 300 - n, static_cast<uint8_t>(n + 1));
  }
  EXPECT_FALSE(pair.client.Ready());
  EXPECT_FALSE(pair.server.Ready());
  EXPECT_EQ(pair.client.Peek(nullptr), nullptr);
  EXPECT_FALSE(pair.client.Pop());
}

TEST(SfSMFLinkV2Test, PopWithoutPeekConsumesAndRepeatedPeeksShowTheSameRecord) {
  LinkPair pair;
  for (uint8_t i = 1; i <= 3; ++i) ASSERT_TRUE(Write(pair.server, i, i));
  EXPECT_TRUE(pair.client.Pop());  // record 1, never peeked
  uint32_t a = 0, b = 0;
  const uint8_t* first = pair.client.Peek(&a);
  const uint8_t* again = pair.client.Peek(&b);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, again);
  EXPECT_EQ(a, 2u);
  EXPECT_EQ(b, 2u);
  EXPECT_TRUE(pair.client.Pop());
  ExpectRecord(pair.client, 3, 3);
  EXPECT_FALSE(pair.client.Pop());
}

TEST(SfSMFLinkV2Test, RecordLayoutAndEmptyRecordTakesEightBytes) {
  LinkPair pair;
  SegmentView s0(pair.name + ".S", 0);
  EXPECT_EQ(s0.Word(seg::kSize), 16384u);
  EXPECT_EQ(s0.Word(seg::kFirstRecord), 32u);
  EXPECT_EQ(s0.Word(seg::kReadOffset), 32u);
  ASSERT_TRUE(Write(pair.server, 0, 0));
  EXPECT_EQ(s0.Word(32), 40u);  // next record
  EXPECT_EQ(s0.Word(36), 0u);   // length
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 40u);
  EXPECT_EQ(s0.Word(seg::kPending), 1u);
  ASSERT_TRUE(Write(pair.server, 5, 9));  // rounded up to 8
  EXPECT_EQ(s0.Word(40), 56u);
  EXPECT_EQ(s0.Word(44), 5u);
  ExpectRecord(pair.client, 0, 0);
  EXPECT_EQ(s0.Word(seg::kReadOffset), 40u);
  EXPECT_EQ(s0.Word(seg::kPending), 1u);
}

TEST(SfSMFLinkV2Test, DrainedSegmentIsRewoundToTheFront) {
  LinkPair pair;
  SegmentView s0(pair.name + ".S", 0);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Write(pair.server, 100, 1));
  for (int i = 0; i < 3; ++i) ExpectRecord(pair.client, 100, 1);
  EXPECT_EQ(s0.Word(seg::kReadOffset), 32u + 3 * 112);
  ASSERT_TRUE(Write(pair.server, 16, 2));
  EXPECT_EQ(s0.Word(seg::kReadOffset), 32u);
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 32u + 24);
  EXPECT_EQ(s0.Word(32), 56u);
  ExpectRecord(pair.client, 16, 2);
  EXPECT_EQ(pair.server.write_index(), 0u);
}

// A writer that defers publication (the bus): its records show only once WakePeer
// counts them, the drained segment is not rewound under records not yet counted, and
// every record arrives whole and in order across segment switches.
TEST(SfSMFLinkV2Test, DeferredRecordsShowOnlyOncePublishedAndAllArriveInOrder) {
  LinkPair pair;
  SegmentView s0(pair.name + ".S", 0);
  pair.server.DeferWake(true);
  ASSERT_TRUE(Write(pair.server, 100, 9));
  pair.server.WakePeer();
  ExpectRecord(pair.client, 100, 9);
  // Drained (pending 0) when these are written: rewinding would overwrite them.
  for (uint8_t i = 1; i <= 3; ++i) ASSERT_TRUE(Write(pair.server, 40, i));
  EXPECT_FALSE(pair.client.Ready());
  EXPECT_EQ(s0.Word(seg::kPending), 0u);
  EXPECT_EQ(pair.server.UnreadCount(), 3u);
  pair.server.WakePeer();
  EXPECT_EQ(s0.Word(seg::kPending), 3u);
  for (uint8_t i = 1; i <= 3; ++i) ExpectRecord(pair.client, 40, i);
  EXPECT_FALSE(pair.client.Ready());
  EXPECT_EQ(pair.server.UnreadCount(), 0u);

  // Batches of 7, read only every third round so segments fill and switch.
  constexpr uint32_t kRecords = 3000;
  const auto length_of = [](uint32_t n) { return 8 + (n * 37) % 3000; };
  uint32_t written = 0, read = 0;
  for (uint32_t round = 0; read < kRecords; ++round) {
    for (int k = 0; k < 7 && written < kRecords; ++k, ++written) {
      ASSERT_TRUE(Write(pair.server, length_of(written), static_cast<uint8_t>(written)));
    }
    if (round % 3 == 2 || written == kRecords) {
      pair.server.WakePeer();
      while (pair.client.Ready()) {
        ASSERT_NO_FATAL_FAILURE(ExpectRecord(pair.client, length_of(read), uint8_t(read)));
        ++read;
      }
      // Everything counted is there, and nothing more was written.
      ASSERT_EQ(read, written) << "round " << round;
    }
  }
  EXPECT_GT(pair.server.write_index(), 0u);
  EXPECT_FALSE(pair.client.IsBroken());
}

TEST(SfSMFLinkV2Test, DestroyPublishesDeferredRecords) {
  LinkPair pair;
  pair.server.DeferWake(true);
  ASSERT_TRUE(Write(pair.server, 24, 1));
  ASSERT_TRUE(Write(pair.server, 24, 2));
  EXPECT_FALSE(pair.client.Ready());
  // The reader holds the segment open: what was counted survives the writer's close.
  pair.server.Destroy();
  ExpectRecord(pair.client, 24, 1);
  ExpectRecord(pair.client, 24, 2);
  EXPECT_FALSE(pair.client.Ready());
}

TEST(SfSMFLinkV2Test, ExactFitStaysAndOneByteMoreSwitchesToClassOne) {
  {
    LinkPair pair;
    ASSERT_TRUE(Write(pair.server, 8000, 1));  // next offset 8040, room 8344
    ASSERT_TRUE(Write(pair.server, 8336, 2));  // P + 8 == room
    EXPECT_EQ(pair.server.write_index(), 0u);
    SegmentView s0(pair.name + ".S", 0);
    EXPECT_EQ(s0.Word(seg::kWriteOffset), 16384u);
    EXPECT_EQ(s0.Word(seg::kMarker), 0u);
  }
  LinkPair pair;
  ASSERT_TRUE(Write(pair.server, 8000, 1));
  ASSERT_TRUE(Write(pair.server, 8337, 2));  // P = 8344: 8 bytes too many
  EXPECT_EQ(pair.server.write_index(), 1u);
  SegmentView s0(pair.name + ".S", 0);
  EXPECT_EQ(s0.Word(seg::kMarker), 0xFF000001u);
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 8040u);
  // The reader drains segment 0 before it follows the marker.
  ExpectRecord(pair.client, 8000, 1);
  EXPECT_EQ(pair.client.read_index(), 0u);
  ExpectRecord(pair.client, 8337, 2);
  EXPECT_EQ(pair.client.read_index(), 1u);
  EXPECT_EQ(s0.Word(seg::kMarker), 0u);  // cleared: the writer may reuse it
}

TEST(SfSMFLinkV2Test, SwitchesToClassOneAndBackToDrainedClassZero) {
  LinkPair pair;
  uint32_t sent = 0;
  // Fill segment 0 and spill into segment 1.
  while (pair.server.write_index() == 0)
    ASSERT_TRUE(Write(pair.server, 1000, static_cast<uint8_t>(sent++)));
  const uint32_t in_zero = sent - 1;
  EXPECT_EQ(in_zero, (16384u - 32) / 1008);
  uint32_t got = 0;
  for (; got < sent; ++got) ExpectRecord(pair.client, 1000, static_cast<uint8_t>(got));
  EXPECT_EQ(pair.client.read_index(), 1u);
  // Fill segment 1 (32768 bytes): the next switch reuses drained segment 0.
  while (pair.server.write_index() == 1)
    ASSERT_TRUE(Write(pair.server, 1000, static_cast<uint8_t>(sent++)));
  EXPECT_EQ(pair.server.write_index(), 0u);
  SegmentView s0(pair.name + ".S", 0);
  EXPECT_EQ(s0.Word(seg::kReadOffset), 32u);
  EXPECT_EQ(s0.Word(32), 32u + 1008);
  SegmentView s1(pair.name + ".S", 1);
  EXPECT_EQ(s1.Word(seg::kMarker), 0xFF000000u);
  for (; got < sent; ++got) ExpectRecord(pair.client, 1000, static_cast<uint8_t>(got));
  EXPECT_EQ(pair.client.read_index(), 0u);
  EXPECT_FALSE(pair.client.Ready());
}

TEST(SfSMFLinkV2Test, StartingALinkWhoseFirstSegmentExistsFails) {
  const std::string name = test::UniqueName("Local\\OrvexV2Dup");
  SfSharedMemory squatter;
  ASSERT_TRUE(squatter.OpenOrCreate(true, name + ".S.0", 16384));
  SfSMFLinkV2 link;
  EXPECT_FALSE(link.Connect(name, 0));
  EXPECT_FALSE(link.IsValid());
  SfSMFLinkV2 other;
  EXPECT_TRUE(other.Connect(name, 1));  // the client side's names are free
  SfSMFLinkV2 empty;
  EXPECT_FALSE(empty.Connect("", 0));
}

TEST(SfSMFLinkV2Test, RecordsTooLargeForAnyClassAreRefusedAndReleaseTheLock) {
  LinkPair pair;
  EXPECT_TRUE(pair.server.CanWrite(128));
  EXPECT_FALSE(pair.server.CanWrite(536870912u - 40 + 1));
  EXPECT_EQ(pair.server.BeginWrite(0xFFFFFFF9u), nullptr);
  // The lock was released: another thread can write.
  bool other_ok = false;
  std::thread([&] { other_ok = Write(pair.server, 8, 3); }).join();
  EXPECT_TRUE(other_ok);
  ExpectRecord(pair.client, 8, 3);
}

TEST(SfSMFLinkV2Test, CommitAndCancelNeedTheCallersOwnReservation) {
  LinkPair pair;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(pair.server.Commit());
  EXPECT_FALSE(pair.server.Cancel());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nNot locked\n\nNot locked\n");

  uint8_t* p = pair.server.BeginWrite(4);
  ASSERT_NE(p, nullptr);
  std::memset(p, 0x61, 4);
  bool other_commit = true;
  std::thread([&] { other_commit = pair.server.Commit(); }).join();
  EXPECT_FALSE(other_commit);
  EXPECT_FALSE(pair.client.Ready());  // nothing published by the failed commit
  EXPECT_TRUE(pair.server.Commit());
  ExpectRecord(pair.client, 4, 0x61);

  // A single writer takes no lock: without a reservation Commit and Cancel fail quietly,
  // and records written, cancelled and switched across segments arrive as ever.
  pair.server.SetSingleWriter();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(pair.server.Commit());
  EXPECT_FALSE(pair.server.Cancel());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(pair.server.BeginWrite(64), nullptr);
  EXPECT_TRUE(pair.server.Cancel());
  EXPECT_FALSE(pair.server.Commit());  // the cancel ended the reservation
  for (uint8_t i = 0; i < 200; ++i) ASSERT_TRUE(Write(pair.server, 100 + i * 4, i));
  EXPECT_GT(pair.server.write_index(), 0u);
  for (uint8_t i = 0; i < 200; ++i)
    ASSERT_NO_FATAL_FAILURE(ExpectRecord(pair.client, 100 + i * 4, i));
  EXPECT_FALSE(pair.client.Ready());
}

TEST(SfSMFLinkV2Test, CancelledSpaceIsReusedByTheNextRecord) {
  LinkPair pair;
  ASSERT_NE(pair.server.BeginWrite(64), nullptr);
  EXPECT_TRUE(pair.server.Cancel());
  EXPECT_FALSE(pair.client.Ready());
  ASSERT_TRUE(Write(pair.server, 8, 7));
  SegmentView s0(pair.name + ".S", 0);
  EXPECT_EQ(s0.Word(32), 48u);
  ExpectRecord(pair.client, 8, 7);
}

TEST(SfSMFLinkV2Test, ReaderFindsThePeersFirstSegmentLater) {
  const std::string name = test::UniqueName("Local\\OrvexV2Late");
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.Connect(name, 0));
  EXPECT_FALSE(server.ReaderAttached());
  EXPECT_FALSE(server.Ready());
  SfSMFLinkV2 client;
  ASSERT_TRUE(client.Connect(name, 1));
  ASSERT_TRUE(Write(client, 3, 5));
  EXPECT_TRUE(server.WaitReady(0));
  ExpectRecord(server, 3, 5);
}

// The writer keeps its offsets to itself: a peer rewriting them in shared memory
// changes nothing about where records go.
TEST(SfSMFLinkV2HardeningTest, WriterIgnoresOffsetsRewrittenByThePeer) {
  LinkPair pair;
  ASSERT_TRUE(Write(pair.server, 16, 1));
  SegmentView s0(pair.name + ".S", 0);
  s0.SetWord(seg::kWriteOffset, 0xFFFFFFF0u);
  s0.SetWord(seg::kSize, 0x7FFFFFFFu);
  uint8_t* p = pair.server.BeginWrite(16);
  ASSERT_NE(p, nullptr);
  std::memset(p, 2, 16);
  s0.SetWord(56, 12345);  // the reserved record's next offset, rewritten meanwhile
  ASSERT_TRUE(pair.server.Commit());
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 80u);
  s0.SetWord(56, 80);
  ExpectRecord(pair.client, 16, 1);
  ExpectRecord(pair.client, 16, 2);
}

struct Corruption {
  const char* what;
  uint32_t offset;  // in segment C.0; a record written by the client sits at 32
  uint32_t value;
};

TEST(SfSMFLinkV2HardeningTest, ABrokenRecordOrMarkerMakesTheLinkUnusable) {
  const Corruption cases[] = {
      {"read offset before the records", seg::kReadOffset, 8},
      {"read offset not on a record boundary", seg::kReadOffset, 36},
      {"read offset past the segment", seg::kReadOffset, 0xFFFFFFF8u},
      {"read offset at the very end", seg::kReadOffset, 16384},
      {"next offset not o + 8 + P", 32, 48},
      {"next offset zero", 32, 0},
      {"payload beyond the segment", 36, 16384},
      {"payload length near 4 GiB", 36, 0xFFFFFFFFu},
  };
  for (const Corruption& c : cases) {
    SCOPED_TRACE(c.what);
    LinkPair pair;
    ASSERT_TRUE(Write(pair.client, 16, 4));
    SegmentView c0(pair.name + ".C", 0);
    c0.SetWord(c.offset, c.value);
    EXPECT_EQ(pair.server.Peek(nullptr), nullptr);
    EXPECT_TRUE(pair.server.IsBroken());
    EXPECT_FALSE(pair.server.Pop());
    EXPECT_FALSE(pair.server.Ready());
    EXPECT_FALSE(pair.server.IsValid());
  }
  const Corruption markers[] = {
      {"marker without the pattern", seg::kMarker, 0x00000001u},
      {"marker beyond the 16 classes", seg::kMarker, 0xFF000010u},
      {"marker with a huge index", seg::kMarker, 0xFFFFFFFFu},
  };
  for (const Corruption& c : markers) {
    SCOPED_TRACE(c.what);
    LinkPair pair;
    SegmentView c0(pair.name + ".C", 0);
    c0.SetWord(c.offset, c.value);
    EXPECT_FALSE(pair.server.Ready());
    EXPECT_TRUE(pair.server.IsBroken());
  }
}

TEST(SfSMFLinkV2HardeningTest, MarkerToAMissingOrHeldSegmentStopsTheReader) {
  LinkPair pair;
  SegmentView c0(pair.name + ".C", 0);
  c0.SetWord(seg::kMarker, 0xFF000003u);  // no segment 3 exists
  EXPECT_FALSE(pair.server.Ready());
  c0.SetWord(seg::kMarker, 0xFF000000u);  // points at itself
  EXPECT_FALSE(pair.server.Ready());
  EXPECT_FALSE(pair.server.IsBroken());
  c0.SetWord(seg::kMarker, 0);
  ASSERT_TRUE(Write(pair.client, 8, 6));
  ExpectRecord(pair.server, 8, 6);
}

TEST(SfSMFLinkV2HardeningTest, ASmallerObjectUnderASegmentNameIsNotMapped) {
  const std::string name = test::UniqueName("Local\\OrvexV2Small");
  SfSharedMemory fake;
  ASSERT_TRUE(fake.OpenOrCreate(true, name + ".C.0", 4096));
  shm::Store(fake.view(), seg::kPending, 1);
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.Connect(name, 0));
  EXPECT_FALSE(server.Ready());
  EXPECT_FALSE(server.ReaderAttached());
  EXPECT_EQ(server.Peek(nullptr), nullptr);
}

// args: link name, ready event. Writes until its third segment is in use, says so and
// waits to be killed.
ORVEX_CHILD_ROLE(v2_spill_and_wait) {
  SfSMFLinkV2 client;
  if (!client.Connect(args[0], 1)) return 2;
  while (client.write_index() != 2) {
    if (!Write(client, 1000, 7)) return 3;
  }
  platform::EventObject* ready = MakeNamedEvent(args[1], false);
  if (ready == nullptr) return 4;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

// The server reads past segments it then lets go. A killed client leaves them held by
// nobody: the server's close removes them, but never a live client's.
TEST(SfSMFLinkV2Test, ServerCloseRemovesTheSegmentsOfAKilledClientOnly) {
  const std::string name = test::UniqueName("Local\\OrvexV2Killed");
  const std::string ready_name = test::UniqueName("Local\\OrvexV2Ready");
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.Connect(name, 0));
  platform::EventObject* ready = MakeNamedEvent(ready_name, false);
  ASSERT_NE(ready, nullptr);
  platform::ProcessObject* child = test::SpawnChild("v2_spill_and_wait", {name, ready_name});
  ASSERT_NE(child, nullptr);
  const bool started = platform::WaitEvent(ready, 20000) == platform::WaitResult::kSignalled;
  platform::CloseEvent(ready);
  uint32_t records = 0;
  while (started && server.Ready()) {
    ExpectRecord(server, 1000, 7);
    ++records;
  }
  EXPECT_TRUE(started);
  EXPECT_EQ(server.read_index(), 2u);
  EXPECT_GT(records, 16u + 32u);
  platform::KillProcess(child);
  int code = 0;
  EXPECT_TRUE(platform::WaitProcess(child, 20000, &code));
  platform::CloseProcess(child);
  server.Destroy();
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(test::MappingLeft(name + ".C." + std::to_string(i))) << "segment " << i;
  }

  // The same with the client alive: its segments stay and it goes on writing.
  LinkPair pair;
  while (pair.client.write_index() != 2) ASSERT_TRUE(Write(pair.client, 1000, 8));
  while (pair.server.Ready()) ExpectRecord(pair.server, 1000, 8);
  ASSERT_EQ(pair.server.read_index(), 2u);
  pair.server.Destroy();
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(NameExists(pair.name + ".C." + std::to_string(i))) << "segment " << i;
  }
  EXPECT_TRUE(Write(pair.client, 1000, 9));
}

}  // namespace
}  // namespace orvex
