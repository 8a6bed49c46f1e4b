#include "bus/held_messages.h"

#include <gtest/gtest.h>

#include "protocol/message_header.h"
#include "protocol/message_reader.h"
#include "protocol/split_joiner.h"

#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace orvex {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Takes every message, oldest first.
std::vector<std::string> Drain(HeldMessages& held) {
  std::vector<std::string> out;
  while (!held.empty()) {
    std::string front(held.FrontSize(), '\0');
    held.CopyFront(reinterpret_cast<uint8_t*>(front.data()));
    out.push_back(front);
    held.PopFront();
  }
  return out;
}

// Takes the oldest message.
std::string Drain1(HeldMessages& held) {
  std::string front(held.FrontSize(), '\0');
  held.CopyFront(reinterpret_cast<uint8_t*>(front.data()));
  held.PopFront();
  return front;
}

TEST(HeldMessages, ANewerValueReplacesTheHeldOneAndGoesBehindWhatCameBetween) {
  HeldMessages held(true);
  held.Add(Bytes("a1"), 1, false);
  held.Add(Bytes("notice"), 0, false);
  held.Add(Bytes("b1"), 2, false);
  held.Add(Bytes("a2"), 1, false);
  EXPECT_EQ(held.conflated(), 1u);
  EXPECT_EQ(held.bytes(), 10u);
  EXPECT_EQ(held.fixed_bytes(), 6u);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"notice", "b1", "a2"}));
  EXPECT_EQ(held.bytes(), 0u);
}

TEST(HeldMessages, AUnitOfPartsIsReplacedWhole) {
  HeldMessages held(true);
  held.Add(Bytes("a1.1"), 1, false);
  held.Add(Bytes("a1.2"), 1, true);
  held.Add(Bytes("b1"), 2, false);
  held.Add(Bytes("a2.1"), 1, false);
  held.Add(Bytes("a2.2"), 1, true);
  EXPECT_EQ(held.conflated(), 1u);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"b1", "a2.1", "a2.2"}));
}

TEST(HeldMessages, AUnitThatBeganToGoOutKeepsItsRestAndTheNewerOneFollows) {
  HeldMessages held(true);
  held.Add(Bytes("a1.1"), 1, false);
  held.Add(Bytes("a1.2"), 1, true);
  held.PopFront();
  held.Add(Bytes("a2"), 1, false);
  EXPECT_EQ(held.conflated(), 0u);
  EXPECT_EQ(held.fixed_bytes(), 4u);  // "a1.2" can no longer be replaced
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"a1.2", "a2"}));
}

TEST(HeldMessages, APartWhoseUnitStartedInTheLinkIsNeverReplaced) {
  HeldMessages held(true);
  held.Add(Bytes("a1.2"), 1, true);
  held.Add(Bytes("a2"), 1, false);
  EXPECT_EQ(held.conflated(), 0u);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"a1.2", "a2"}));
}

TEST(HeldMessages, WithoutConflationNothingIsReplaced) {
  HeldMessages held(false);
  held.Add(Bytes("a1"), 1, false);
  held.Add(Bytes("a2"), 1, false);
  EXPECT_EQ(held.conflated(), 0u);
  EXPECT_EQ(held.fixed_bytes(), 4u);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"a1", "a2"}));
}

// A payload fanned out to many handles is held once: each message has its own head,
// counts its full size against the link, and is replaced (and releases the payload)
// like a private copy.
TEST(HeldMessages, ASharedPayloadIsHeldOnceUnderEveryHandleWithItsOwnHead) {
  HeldMessages held(true);
  auto payload = std::make_shared<const std::vector<uint8_t>>(Bytes("..payload"));
  for (uint64_t key = 1; key <= 3; ++key) {
    const std::string head = "h" + std::to_string(key);
    held.AddShared(Bytes(head), payload, key);
  }
  EXPECT_EQ(payload.use_count(), 4);
  EXPECT_EQ(held.bytes(), 27u);
  held.AddShared(Bytes("h2"), std::make_shared<const std::vector<uint8_t>>(Bytes("..newer")), 2);
  EXPECT_EQ(held.conflated(), 1u);
  EXPECT_EQ(payload.use_count(), 3);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"h1payload", "h3payload", "h2newer"}));
  EXPECT_EQ(payload.use_count(), 1);
  EXPECT_EQ(held.bytes(), 0u);
}

TEST(HeldMessages, ClearKeepsTheCount) {
  HeldMessages held(true);
  held.Add(Bytes("a1"), 1, false);
  held.Add(Bytes("a2"), 1, false);
  held.Clear();
  EXPECT_TRUE(held.empty());
  EXPECT_EQ(held.bytes(), 0u);
  EXPECT_EQ(held.conflated(), 1u);
  held.Add(Bytes("a3"), 1, false);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"a3"}));
}

// A reader that never reads, 200 updates of each of 1,000 handles: the store keeps one
// unit per handle, and its slots and order queue stay within a bound of the handles,
// not the updates; only the newest payload is still referenced.
TEST(HeldMessages, SlotsAndQueueStayBoundedByTheHandlesWhateverTheUpdates) {
  HeldMessages held(true);
  constexpr uint64_t kHandles = 1000;
  std::weak_ptr<const std::vector<uint8_t>> first;
  for (int round = 0; round < 200; ++round) {
    auto payload = std::make_shared<const std::vector<uint8_t>>(24, static_cast<uint8_t>(round));
    if (round == 0) first = payload;
    for (uint64_t h = 0; h < kHandles; ++h) {
      // Every other round in reverse, so the queue's order keeps changing.
      const uint64_t key = round % 2 == 0 ? h + 1 : kHandles - h;
      held.AddShared(Bytes("hd"), payload, key);
    }
    held.Add(Bytes("notice"), 0, false);  // one fixed message per round
    ASSERT_LE(held.slot_count(), kHandles + round + 1);
    ASSERT_LE(held.queue_length(), 2 * (kHandles + round + 1) + 64);
  }
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(held.size(), kHandles + 200);
  EXPECT_EQ(held.bytes(), kHandles * 24 + 200 * 6);
  EXPECT_EQ(held.fixed_bytes(), 200u * 6);
  EXPECT_EQ(held.conflated(), 199 * kHandles);
  // The fixed messages of the first 199 rounds, then the last round's values (handles
  // in reverse) and its notice.
  const std::vector<std::string> out = Drain(held);
  ASSERT_EQ(out.size(), kHandles + 200);
  for (size_t i = 0; i < 199; ++i) EXPECT_EQ(out[i], "notice");
  EXPECT_EQ(out[199], "hd" + std::string(22, static_cast<char>(199)));
  EXPECT_EQ(out.back(), "notice");
  // Drained, the slots serve again without growing.
  const size_t slots = held.slot_count();
  for (uint64_t key = 1; key <= kHandles; ++key) held.Add(Bytes("again"), key, false);
  EXPECT_EQ(held.slot_count(), slots);
}

// The order and bookkeeping the store promises, written as a list of messages (the
// obvious way, allocating per message), against the store under random use: values
// under a few keys, parts that continue them, fixed messages and pops.
class ListModel {
 public:
  explicit ListModel(bool conflate) : conflate_(conflate) {}
  void Add(const std::string& text, uint64_t key, bool continues) {
    const bool joins = continues && !held_.empty() && last_key_ == key && key != 0;
    Held h{0, 0, text};
    if (joins) {
      h.key = held_.back().key;
      h.unit = held_.back().unit;
    } else {
      if (conflate_ && key != 0 && !continues) {
        bool replaced = false;
        for (auto it = held_.begin(); it != held_.end();) {
          replaced |= it->key == key;
          it = it->key == key ? held_.erase(it) : std::next(it);
        }
        conflated_ += replaced ? 1 : 0;
        h.key = key;
      }
      h.unit = next_unit_++;
    }
    last_key_ = key;
    held_.push_back(h);
  }
  void PopFront() {
    const Held front = held_.front();
    held_.pop_front();
    for (Held& h : held_) {
      if (h.unit == front.unit) h.key = 0;
    }
    if (held_.empty()) last_key_ = 0;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Held& h : held_) out.push_back(h.text);
    return out;
  }
  uint64_t FixedBytes() const {
    uint64_t bytes = 0;
    for (const Held& h : held_) bytes += h.key == 0 ? h.text.size() : 0;
    return bytes;
  }
  uint64_t conflated() const { return conflated_; }
  bool empty() const { return held_.empty(); }

 private:
  struct Held {
    uint64_t key;
    uint64_t unit;
    std::string text;
  };
  const bool conflate_;
  std::list<Held> held_;
  uint64_t next_unit_ = 1, last_key_ = 0, conflated_ = 0;
};

TEST(HeldMessages, BehavesAsTheListOfMessagesUnderRandomUse) {
  for (const bool conflate : {true, false}) {
    SCOPED_TRACE(conflate ? "conflating" : "keeping all");
    std::mt19937 random(conflate ? 7 : 8);
    for (int run = 0; run < 40; ++run) {
      HeldMessages held(conflate);
      ListModel model(conflate);
      for (int step = 0; step < 400; ++step) {
        const uint32_t pick = random() % 10;
        if (pick < 3 && !model.empty()) {
          held.PopFront();
          model.PopFront();
        } else {
          const uint64_t key = random() % 4;  // 0: a fixed message
          const bool continues = pick == 9;
          const std::string text = std::to_string(run) + "." + std::to_string(step);
          held.Add(Bytes(text), key, continues);
          model.Add(text, key, continues);
        }
        ASSERT_EQ(held.fixed_bytes(), model.FixedBytes()) << "run " << run << " step " << step;
        ASSERT_EQ(held.conflated(), model.conflated());
        ASSERT_EQ(held.size(), model.Texts().size());
      }
      EXPECT_EQ(Drain(held), model.Texts()) << "run " << run;
    }
  }
}

// Values held while the link cannot grow are kept whole: none is replaced, none counts
// as fixed, and conflation resumes for what comes after.
TEST(HeldMessages, WhileKeepingNothingIsReplacedNorCountedFixed) {
  HeldMessages held(true);
  held.SetKeeping(true);
  held.Add(Bytes("a1"), 1, false);
  held.Add(Bytes("a2"), 1, false);
  held.Add(Bytes("n"), 0, false);
  EXPECT_EQ(held.conflated(), 0u);
  EXPECT_EQ(held.kept(), 3u);
  EXPECT_EQ(held.fixed_bytes(), 0u);
  EXPECT_EQ(held.bytes(), 5u);
  held.SetKeeping(false);
  held.Add(Bytes("a3"), 1, false);
  held.Add(Bytes("a4"), 1, false);
  EXPECT_EQ(held.conflated(), 1u);
  EXPECT_EQ(held.fixed_bytes(), 0u);
  EXPECT_EQ(Drain(held), (std::vector<std::string>{"a1", "a2", "n", "a4"}));
  EXPECT_EQ(held.fixed_bytes(), 0u);
  EXPECT_EQ(held.bytes(), 0u);
}

// The parts of a large classic value are one held message that costs their bytes and
// is made only when it comes up: it is replaced whole while it waits, follows the part
// of its value held before it, and makes exactly the value's messages, with the link's
// header, when taken out.
TEST(HeldMessages, AValuesPartsAreOneMessageMadeWhenTheyComeUp) {
  auto parts = [](size_t n, char c, size_t skip) {
    RtdValue v;
    v.SetText(std::string(n, c));
    auto value = std::make_shared<const RtdValue>(v);
    ClassicValueSplitter splitter(kValueSplit, 9, *value);
    std::vector<uint8_t> slot(kClassicSlotSize);
    for (size_t i = 0; i < skip; ++i) splitter.WriteNext(slot);
    return std::make_unique<ValueParts>(splitter, value, 77);
  };
  HeldMessages held(true);
  held.Add(Bytes("a"), 1, false);
  held.AddParts(parts(300, 'x', 0), 2, false);  // 3 parts
  held.AddParts(parts(500, 'y', 0), 2, false);  // 5 parts: replaces the 300
  held.Add(Bytes("z1"), 3, true);               // a value whose first part was sent
  held.AddParts(parts(250, 'z', 2), 3, true);   // its last part
  held.Add(Bytes("z2"), 3, false);              // the begun one is not replaced
  EXPECT_EQ(held.conflated(), 1u);
  EXPECT_EQ(held.size(), 5u);
  EXPECT_EQ(held.bytes(), 1 + 5 * kClassicSlotSize + 2 + kClassicSlotSize + 2);
  EXPECT_EQ(held.fixed_bytes(), 2 + kClassicSlotSize);  // z1 and its part

  std::vector<std::string> out;
  while (!held.empty()) {
    std::unique_ptr<ValueParts> front = held.TakeFrontParts();
    if (front == nullptr) {
      out.push_back(Drain1(held));
      continue;
    }
    SplitJoiner joiner;
    size_t messages = 0;
    while (!front->Done()) {
      std::vector<uint8_t> slot(kClassicSlotSize);
      front->WriteNext(4, slot);
      MessageHeader header;
      HandleValue hv;
      ASSERT_TRUE(ReadMessageHeader(slot, &header));
      ASSERT_TRUE(ReadClassicHandleValue(slot, &hv));
      EXPECT_EQ(header.connection_id, 4u);
      EXPECT_EQ(header.tick, 77u);
      EXPECT_EQ(hv.handle, 9u);
      joiner.AppendValue(hv.handle, hv.value, hv.starts);
      ++messages;
    }
    const std::string text(joiner.TakeValue().Text());
    out.push_back(std::to_string(messages) + "x" + std::to_string(text.size()) + text.substr(0, 1));
  }
  EXPECT_EQ(out, (std::vector<std::string>{"a", "5x500y", "z1", "1x28z", "z2"}));
  EXPECT_EQ(held.bytes(), 0u);
  EXPECT_EQ(held.fixed_bytes(), 0u);
}

}  // namespace
}  // namespace orvex
