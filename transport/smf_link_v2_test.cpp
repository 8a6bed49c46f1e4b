// V2 links inside one process: a server end (side 0) and a client end (side 1) over
// the same names (and a client in its own process, killed). Record layout, exact fit,
// switching and rewinding, batched publication and bulk reading, the reader's cache of
// passed segments, the writer lock, segments a killed client leaves behind, and a
// reader that refuses records a peer broke.
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

// Unread bytes count what the reader has still to take, published or not, across
// segments: a burst that grew the link leaves it grown (WriterBytes) but, once read,
// nothing unread; a read offset the peer rewrites cannot push the count out of range.
TEST(SfSMFLinkV2Test, UnreadBytesFollowTheReaderNotTheSegmentsHeld) {
  LinkPair pair;
  EXPECT_EQ(pair.server.UnreadBytes(), 0u);
  ASSERT_TRUE(Write(pair.server, 100, 1));
  ASSERT_TRUE(Write(pair.server, 5, 2));
  EXPECT_EQ(pair.server.UnreadBytes(), 112u + 16u);
  ExpectRecord(pair.client, 100, 1);
  EXPECT_EQ(pair.server.UnreadBytes(), 16u);
  ExpectRecord(pair.client, 5, 2);
  EXPECT_EQ(pair.server.UnreadBytes(), 0u);

  // A burst over several segments, partly deferred (written but not yet published).
  constexpr uint32_t kBurst = 200;
  for (uint32_t n = 0; n < kBurst; ++n) ASSERT_TRUE(Write(pair.server, 1000, 3));
  pair.server.DeferWake(true);
  for (uint32_t n = 0; n < 3; ++n) ASSERT_TRUE(Write(pair.server, 1000, 4));
  const uint64_t grown = pair.server.WriterBytes();
  EXPECT_GT(grown, 16384u);
  EXPECT_EQ(pair.server.UnreadBytes(), (kBurst + 3) * uint64_t{1008});
  for (uint32_t n = 0; n < kBurst / 2; ++n) ExpectRecord(pair.client, 1000, 3);
  EXPECT_EQ(pair.server.UnreadBytes(), (kBurst / 2 + 3) * uint64_t{1008});
  for (uint32_t n = kBurst / 2; n < kBurst; ++n) ExpectRecord(pair.client, 1000, 3);
  EXPECT_EQ(pair.server.UnreadBytes(), 3u * 1008);
  pair.server.WakePeer();
  for (uint32_t n = 0; n < 3; ++n) ExpectRecord(pair.client, 1000, 4);
  EXPECT_EQ(pair.server.UnreadBytes(), 0u);
  EXPECT_EQ(pair.server.WriterBytes(), grown);

  // A reader that keeps up after the burst is never behind by more than a batch.
  for (int batch = 0; batch < 50; ++batch) {
    for (uint8_t i = 0; i < 10; ++i) ASSERT_TRUE(Write(pair.server, 100, i));
    EXPECT_EQ(pair.server.UnreadBytes(), 10u * 112);
    pair.server.WakePeer();
    ASSERT_EQ(pair.client.PopBatch(100, [](const uint8_t*, uint32_t) { return true; }), 10u);
    EXPECT_EQ(pair.server.UnreadBytes(), 0u);
  }

  // The peer moves the read offset of a segment it has records in: before the front,
  // then past what was written.
  pair.server.DeferWake(false);
  ASSERT_TRUE(Write(pair.server, 40, 5));
  SegmentView current(pair.name + ".S", pair.server.write_index());
  const uint32_t read = current.Word(seg::kReadOffset);
  current.SetWord(seg::kReadOffset, 0);
  const uint32_t written = current.Word(seg::kWriteOffset);
  EXPECT_EQ(pair.server.UnreadBytes(), written - seg::kHeaderSize);
  current.SetWord(seg::kReadOffset, 0xFFFFFFF0u);
  EXPECT_EQ(pair.server.UnreadBytes(), 0u);
  current.SetWord(seg::kReadOffset, read);
  ExpectRecord(pair.client, 40, 5);
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

// What PopBatch hands over: each record's length and first byte, the whole payload
// checked to be that byte.
struct Taken {
  std::vector<uint32_t> lengths;
  std::vector<uint8_t> fills;
  uint64_t budget = UINT64_MAX;  // bytes the caller still has room for
  bool operator()(const uint8_t* p, uint32_t length) {
    if (length > budget) return false;
    budget -= length;
    for (uint32_t i = 1; i < length; ++i) EXPECT_EQ(p[i], p[0]) << "byte " << i;
    lengths.push_back(length);
    fills.push_back(length != 0 ? p[0] : 0);
    return true;
  }
};

// A batching writer shows its write offset and count only when it publishes; the
// reader takes records in bulk, in order, across switches and markers, stops at what
// the caller refuses (it comes first next time) and at `max`, and publishes its own
// offset and count once per segment.
TEST(SfSMFLinkV2Test, BulkPopKeepsOrderAcrossSegmentsAndMarkersAndLeavesTheRest) {
  LinkPair pair;
  SegmentView s0(pair.name + ".S", 0);
  pair.server.DeferWake(true);
  for (uint8_t i = 1; i <= 6; ++i) ASSERT_TRUE(Write(pair.server, 40, i));
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 32u);
  EXPECT_EQ(s0.Word(seg::kPending), 0u);
  EXPECT_EQ(pair.client.PopBatch(100, Taken()), 0u);
  pair.server.WakePeer();
  EXPECT_EQ(s0.Word(seg::kWriteOffset), 32u + 6 * 48);
  EXPECT_EQ(s0.Word(seg::kPending), 6u);
  Taken first;
  EXPECT_EQ(pair.client.PopBatch(4, first), 4u);
  EXPECT_EQ(first.fills, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(s0.Word(seg::kReadOffset), 32u + 4 * 48);
  EXPECT_EQ(s0.Word(seg::kPending), 2u);
  // A peeked record is not taken twice.
  ExpectRecord(pair.client, 40, 5);
  uint32_t length = 0;
  ASSERT_NE(pair.client.Peek(&length), nullptr);
  Taken rest;
  EXPECT_EQ(pair.client.PopBatch(100, rest), 1u);
  EXPECT_EQ(rest.fills, (std::vector<uint8_t>{6}));
  EXPECT_FALSE(pair.client.Pop());

  // A reader that keeps up: each batch starts at the front of the drained segment, so
  // the link never grows past it (the bus counts a link's segments as waiting bytes).
  for (int batch = 0; batch < 200; ++batch) {
    for (uint8_t i = 0; i < 10; ++i) ASSERT_TRUE(Write(pair.server, 100, i));
    pair.server.WakePeer();
    ASSERT_EQ(pair.client.PopBatch(100, Taken()), 10u);
  }
  EXPECT_EQ(pair.server.WriterBytes(), 16384u);

  // Many segments: lengths vary, batches are published every 5 records and read only
  // every fourth round, with a byte budget that refuses records now and then.
  constexpr uint32_t kRecords = 4000;
  const auto length_of = [](uint32_t n) { return (n * 53) % 2600; };
  uint32_t written = 0, read = 0, hops = 0, segment = 0;
  for (uint32_t round = 0; read < kRecords; ++round) {
    for (int k = 0; k < 5 && written < kRecords; ++k, ++written) {
      ASSERT_TRUE(Write(pair.server, length_of(written), static_cast<uint8_t>(written)));
    }
    pair.server.WakePeer();
    if (pair.client.read_index() != segment) ++hops;
    segment = pair.client.read_index();
    if (round % 4 != 3 && written < kRecords) continue;
    while (read < written) {
      Taken batch;
      batch.budget = 1000 + (round * 977) % 9000;
      const uint32_t max = 1 + round % 40;
      const uint32_t got = pair.client.PopBatch(max, batch);
      ASSERT_LE(got, max);
      // Something is always taken unless the very next record passes the budget.
      if (got == 0) {
        ASSERT_GT(length_of(read), batch.budget) << "record " << read;
      }
      ASSERT_EQ(batch.lengths.size(), got);
      for (uint32_t i = 0; i < got; ++i, ++read) {
        ASSERT_EQ(batch.lengths[i], length_of(read)) << "record " << read;
        if (length_of(read) != 0) {
          ASSERT_EQ(batch.fills[i], uint8_t(read)) << "record " << read;
        }
      }
      if (got == 0) {
        // Refused: the same record comes next, whole.
        ASSERT_NO_FATAL_FAILURE(ExpectRecord(pair.client, length_of(read), uint8_t(read)));
        ++read;
      }
    }
  }
  EXPECT_GT(hops, 10u);
  EXPECT_FALSE(pair.client.Ready());
  EXPECT_FALSE(pair.client.IsBroken());
  EXPECT_EQ(pair.server.UnreadCount(), 0u);
}

// The reader keeps the segments it passed mapped (a small cache): a writer going back
// and forth between two segments costs no new mapping, and however far the writer
// grows, the reader holds at most the current segment and kPassedKept passed ones.
TEST(SfSMFLinkV2Test, PassedSegmentsStayMappedWithinABoundedCache) {
  LinkPair pair;
  EXPECT_EQ(pair.client.reader_maps(), 1u);
  uint32_t sent = 0, got = 0;
  const auto drain = [&](uint32_t max) {
    Taken batch;
    const uint32_t n = pair.client.PopBatch(max, batch);
    for (uint32_t i = 0; i < n; ++i, ++got) {
      EXPECT_EQ(batch.lengths[i], 1000u);
      EXPECT_EQ(batch.fills[i], uint8_t(got)) << "record " << got;
    }
    EXPECT_LE(pair.client.ReaderSegmentsMapped(), 1 + SfSMFLinkV2::kPassedKept);
    return n;
  };
  for (int trip = 0; trip < 4; ++trip) {
    const uint32_t from = pair.server.write_index();
    while (pair.server.write_index() == from)
      ASSERT_TRUE(Write(pair.server, 1000, static_cast<uint8_t>(sent++)));
    while (drain(7) != 0) {
    }
    ASSERT_EQ(got, sent);
  }
  EXPECT_EQ(pair.client.read_index(), 0u);
  EXPECT_EQ(pair.client.reader_maps(), 2u);  // segments 0 and 1, once each
  EXPECT_EQ(pair.client.ReaderSegmentsMapped(), 2u);

  // Unread records push the writer up to segment 7 (2 MiB, too large to keep).
  while (pair.server.write_index() != 7)
    ASSERT_TRUE(Write(pair.server, 1000, static_cast<uint8_t>(sent++)));
  while (drain(50) != 0) {
  }
  ASSERT_EQ(got, sent);
  EXPECT_EQ(pair.client.read_index(), 7u);
  EXPECT_EQ(pair.client.ReaderSegmentsMapped(), 1 + SfSMFLinkV2::kPassedKept);
  const uint64_t maps = pair.client.reader_maps();
  EXPECT_EQ(maps, 8u);  // 0 to 7, once each
  // Back to segment 0, which the cache let go: mapped again, and segment 7 is not kept.
  while (pair.server.write_index() == 7)
    ASSERT_TRUE(Write(pair.server, 1000, static_cast<uint8_t>(sent++)));
  while (drain(50) != 0) {
  }
  ASSERT_EQ(got, sent);
  EXPECT_EQ(pair.client.reader_maps(), maps + 1);
  EXPECT_EQ(pair.client.ReaderSegmentsMapped(), 1 + SfSMFLinkV2::kPassedKept);
  EXPECT_EQ(SegmentView(pair.name + ".S", 7).Word(seg::kMarker), 0u);
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

// Starts child `role` on link `name` with a ready event; *started tells whether it
// said it was ready within 20 s. Null when it could not be started.
platform::ProcessObject* StartChild(const char* role, const std::string& name, bool* started) {
  const std::string ready_name = test::UniqueName("Local\\OrvexV2Ready");
  platform::EventObject* ready = MakeNamedEvent(ready_name, false);
  if (ready == nullptr) return nullptr;
  platform::ProcessObject* child = test::SpawnChild(role, {name, ready_name});
  *started =
      child != nullptr && platform::WaitEvent(ready, 20000) == platform::WaitResult::kSignalled;
  platform::CloseEvent(ready);
  return child;
}

// args: link name, ready event. Publishes ten records as one batch, then writes five
// more and half of another without publishing them, says so and waits to be killed.
ORVEX_CHILD_ROLE(v2_batch_then_killed) {
  SfSMFLinkV2 client;
  if (!client.Connect(args[0], 1)) return 2;
  client.DeferWake(true);
  for (uint8_t i = 0; i < 15; ++i) {
    if (!Write(client, 24, i)) return 3;
    if (i == 9) client.WakePeer();
  }
  uint8_t* half = client.BeginWrite(4000);
  if (half == nullptr) return 3;
  std::memset(half, 0x5A, 2000);
  platform::EventObject* ready = MakeNamedEvent(args[1], false);
  if (ready == nullptr) return 4;
  platform::SetEvent(ready);
  platform::SleepMs(60000);
  return 0;
}

// A batch its writer never published (killed first) gives the reader nothing: not the
// records written whole, not the one half written.
TEST(SfSMFLinkV2Test, AnUnpublishedBatchOfAKilledWriterIsNeverRead) {
  const std::string name = test::UniqueName("Local\\OrvexV2Batch");
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.Connect(name, 0));
  bool started = false;
  platform::ProcessObject* child = StartChild("v2_batch_then_killed", name, &started);
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(started);
  EXPECT_TRUE(server.Ready());  // maps the segment, so it outlives the writer
  platform::KillProcess(child);
  int code = 0;
  EXPECT_TRUE(platform::WaitProcess(child, 20000, &code));
  platform::CloseProcess(child);
  Taken taken;
  EXPECT_EQ(server.PopBatch(1000, taken), 10u);
  EXPECT_EQ(taken.lengths, std::vector<uint32_t>(10, 24));
  EXPECT_EQ(taken.fills, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_FALSE(server.Ready());
  EXPECT_EQ(server.Peek(nullptr), nullptr);
  EXPECT_FALSE(server.IsBroken());
}

// The server reads past segments it then lets go. A killed client leaves them held by
// nobody: the server's close removes them, but never a live client's.
TEST(SfSMFLinkV2Test, ServerCloseRemovesTheSegmentsOfAKilledClientOnly) {
  const std::string name = test::UniqueName("Local\\OrvexV2Killed");
  SfSMFLinkV2 server;
  ASSERT_TRUE(server.Connect(name, 0));
  bool started = false;
  platform::ProcessObject* child = StartChild("v2_spill_and_wait", name, &started);
  ASSERT_NE(child, nullptr);
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
