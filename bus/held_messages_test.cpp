#include "bus/held_messages.h"

#include <gtest/gtest.h>

#include <memory>
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

}  // namespace
}  // namespace orvex
