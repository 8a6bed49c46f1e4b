#include "rtd/topic_book.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "rtd/topic_form.h"

namespace orvex::rtd {
namespace {

RtdValue Int(int32_t n) {
  RtdValue v;
  v.SetInt32(n);
  return v;
}

std::map<int32_t, std::string> Shown(RtdTopicBook& book) {
  std::map<int32_t, std::string> out;
  for (auto& [id, cell] : book.Refresh()) {
    EXPECT_EQ(out.count(id), 0u) << "cell " << id << " listed twice";
    out[id] = CellText(cell);
  }
  return out;
}

TEST(TopicFormTest, OneOrTwoStringsMakeTheRequestText) {
  std::string text;
  const std::vector<std::string> one = {"@ABC:ACME.LAST"};
  EXPECT_EQ(BuildTopicText(one, &text), TopicFormResult::kOk);
  EXPECT_EQ(text, "@ABC:ACME.LAST");
  const std::vector<std::string> plain = {"ACME.LAST"};
  EXPECT_EQ(BuildTopicText(plain, &text), TopicFormResult::kOk);
  EXPECT_EQ(text, "ACME.LAST");
  const std::vector<std::string> two = {" abc ", "ACME.LAST"};
  EXPECT_EQ(BuildTopicText(two, &text), TopicFormResult::kOk);
  EXPECT_EQ(text, "@ABC:ACME.LAST");

  EXPECT_EQ(BuildTopicText({}, &text), TopicFormResult::kNoStrings);
  const std::vector<std::string> empty = {""};
  EXPECT_EQ(BuildTopicText(empty, &text), TopicFormResult::kEmpty);
  const std::vector<std::string> no_sid = {"  ", "X"};
  EXPECT_EQ(BuildTopicText(no_sid, &text), TopicFormResult::kEmpty);
  const std::vector<std::string> three = {"A", "B", "C"};
  EXPECT_EQ(BuildTopicText(three, &text), TopicFormResult::kTooManyParts);
  const std::vector<std::string> at_limit = {std::string(kMaxTopicTextBytes, 'x')};
  EXPECT_EQ(BuildTopicText(at_limit, &text), TopicFormResult::kOk);
  const std::vector<std::string> over = {std::string(kMaxTopicTextBytes + 1, 'x')};
  EXPECT_EQ(BuildTopicText(over, &text), TopicFormResult::kTooLong);
  EXPECT_TRUE(text.empty());
  const std::vector<std::string> two_over = {"ABC", std::string(kMaxTopicTextBytes - 4, 'x')};
  EXPECT_EQ(BuildTopicText(two_over, &text), TopicFormResult::kTooLong);

  EXPECT_EQ(AddressedSids("@abc , XYZ:T"), (std::vector<std::string>{"ABC", "XYZ"}));
  EXPECT_TRUE(AddressedSids("ACME.LAST").empty());
  EXPECT_TRUE(AddressedSids("@ABC").empty());
}

TEST(TopicBookTest, CellsWithTheSameTextShareOneBusTopicUntilTheLastLeaves) {
  RtdTopicBook book;
  auto a = book.Connect(1, "@ABC:X");
  auto b = book.Connect(2, "@ABC:X");
  auto c = book.Connect(3, "@ABC:Y");
  EXPECT_TRUE(a.new_bus_topic);
  EXPECT_FALSE(b.new_bus_topic);
  EXPECT_TRUE(c.new_bus_topic);
  EXPECT_EQ(a.handle, b.handle);
  EXPECT_NE(a.handle, c.handle);
  EXPECT_EQ(a.current, CellValue::Error(CellError::kNA));
  EXPECT_EQ(book.bus_topic_count(), 2u);

  EXPECT_TRUE(book.OnValue(a.handle, Int(5)));
  // A later cell of the topic shows the value at once.
  EXPECT_EQ(CellText(book.Connect(4, "@ABC:X").current), "5");
  EXPECT_EQ(Shown(book), (std::map<int32_t, std::string>{{1, "5"}, {2, "5"}, {4, "5"}}));

  EXPECT_EQ(book.Disconnect(1), 0u);
  EXPECT_EQ(book.Disconnect(4), 0u);
  EXPECT_EQ(book.Disconnect(2), a.handle);
  EXPECT_EQ(book.Disconnect(2), 0u);  // twice: nothing
  EXPECT_EQ(book.Disconnect(99), 0u);
  EXPECT_EQ(book.RequestText(a.handle), "");
  EXPECT_FALSE(book.OnValue(a.handle, Int(6)));  // a late value of a closed topic
  EXPECT_TRUE(Shown(book).empty());
  EXPECT_EQ(book.cell_count(), 1u);
  EXPECT_EQ(book.bus_topic_count(), 1u);
}

TEST(TopicBookTest, ABurstIsOneEntryAndOneNotificationUntilTheNextRefresh) {
  RtdTopicBook book;
  const uint32_t x = book.Connect(1, "X").handle;
  const uint32_t y = book.Connect(2, "Y").handle;
  int notifications = 0;
  for (int i = 1; i <= 10000; ++i) notifications += book.OnValue(x, Int(i)) ? 1 : 0;
  notifications += book.OnValue(y, Int(-1)) ? 1 : 0;
  EXPECT_EQ(notifications, 1);
  auto refreshed = book.Refresh();
  ASSERT_EQ(refreshed.size(), 2u);
  EXPECT_EQ(refreshed[0].first, 1);
  EXPECT_EQ(refreshed[0].second.int32, 10000);  // the newest, never an older one
  EXPECT_EQ(refreshed[1].second.int32, -1);
  EXPECT_TRUE(book.Refresh().empty());
  // Re-armed: the next value notifies again.
  EXPECT_TRUE(book.OnValue(y, Int(2)));
  EXPECT_FALSE(book.OnValue(x, Int(3)));
}

TEST(TopicBookTest, CellsShowWhenThePublisherLeavesAndTheBusGoes) {
  RtdTopicBook book;
  const uint32_t abc = book.Connect(1, "@ABC:X").handle;
  const uint32_t either = book.Connect(2, "@XYZ,ABC:X").handle;
  const uint32_t plain = book.Connect(3, "X").handle;
  const uint32_t bus = book.Connect(4, "@BUS:TICKER").handle;
  book.OnValue(abc, Int(1));
  book.OnValue(either, Int(2));
  book.OnValue(plain, Int(3));
  book.OnValue(bus, Int(4));
  Shown(book);

  EXPECT_FALSE(book.OnPublishers("ABC"));
  EXPECT_FALSE(book.OnDefaultPublisher("ABC"));
  EXPECT_TRUE(Shown(book).empty());  // everyone is served: nothing changed

  book.OnPublishers("");
  book.OnDefaultPublisher("");
  EXPECT_EQ(Shown(book),
            (std::map<int32_t, std::string>{{1, "#REF!"}, {2, "#REF!"}, {3, "#REF!"}}));
  // A new cell of a topic without publisher says so at once.
  EXPECT_EQ(CellText(book.Connect(5, "@ABC:X").current), "#REF!");

  book.OnPublishers("XYZ");
  EXPECT_EQ(Shown(book), (std::map<int32_t, std::string>{{2, "2"}}));
  book.OnPublishers("ABC,XYZ");
  EXPECT_EQ(Shown(book), (std::map<int32_t, std::string>{{1, "1"}, {5, "1"}}));
  EXPECT_TRUE(book.OnValue(plain, Int(30)));  // a value proves a publisher is there
  EXPECT_EQ(Shown(book), (std::map<int32_t, std::string>{{3, "30"}}));

  EXPECT_TRUE(book.OnBusAway());
  EXPECT_EQ(Shown(book),
            (std::map<int32_t, std::string>{
                {1, "#NULL!"}, {2, "#NULL!"}, {3, "#NULL!"}, {4, "#NULL!"}, {5, "#NULL!"}}));
  EXPECT_EQ(CellText(book.Connect(6, "NEW").current), "#NULL!");
  EXPECT_FALSE(book.OnBusAway());  // already away: no change
  EXPECT_TRUE(book.OnBusBack());
  const auto back = Shown(book);
  EXPECT_EQ(back.size(), 6u);
  for (auto& [id, text] : back) EXPECT_EQ(text, "#N/A") << id;
  book.OnValue(bus, Int(1));
  EXPECT_EQ(Shown(book), (std::map<int32_t, std::string>{{4, "1"}}));
  EXPECT_EQ(book.OpenBusTopics().size(), 5u);
}

TEST(TopicBookTest, RepeatedIdsAndTooManyTopicsAreRefusedWithoutGrowing) {
  RtdTopicBook book;
  EXPECT_EQ(book.Connect(7, "A").outcome, ConnectOutcome::kOk);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(book.Connect(7, "B" + std::to_string(i)).outcome, ConnectOutcome::kDuplicateId);
    ASSERT_EQ(book.Connect(7, "A").outcome, ConnectOutcome::kDuplicateId);
  }
  EXPECT_EQ(book.cell_count(), 1u);
  EXPECT_EQ(book.bus_topic_count(), 1u);

  for (size_t i = 1; i < kMaxBusTopics; ++i) {
    ASSERT_EQ(book.Connect(static_cast<int32_t>(i + 100), "T" + std::to_string(i)).outcome,
              ConnectOutcome::kOk);
  }
  EXPECT_EQ(book.bus_topic_count(), kMaxBusTopics);
  EXPECT_EQ(book.Connect(1, "ONE MORE").outcome, ConnectOutcome::kTooManyTopics);
  // A text already open still takes more cells.
  EXPECT_EQ(book.Connect(2, "A").outcome, ConnectOutcome::kOk);
  EXPECT_NE(book.Disconnect(101), 0u);
  EXPECT_EQ(book.Connect(1, "ONE MORE").outcome, ConnectOutcome::kOk);
}

TEST(TopicBookTest, FreedSlotsComeBackUnderNewHandlesAndCloseCleanly) {
  RtdTopicBook book;
  const uint32_t a = book.Connect(1, "A").handle;
  const uint32_t b = book.Connect(2, "B").handle;
  ASSERT_EQ(book.Connect(3, "B").handle, b);
  ASSERT_EQ(book.Connect(4, "B").handle, b);
  EXPECT_EQ(book.Disconnect(1), a);
  // The slot comes back under another handle: a value still in flight for the old
  // topic must not reach the new one.
  const uint32_t c = book.Connect(5, "C").handle;
  EXPECT_EQ(RtdTopicBook::SlotOf(c), RtdTopicBook::SlotOf(a));
  EXPECT_NE(c, a);
  EXPECT_FALSE(book.OnValue(a, Int(1)));
  EXPECT_EQ(book.RequestText(c), "C");
  EXPECT_EQ(book.RequestText(a), "");
  // The first cell of a shared topic leaves: the rest keep their order.
  EXPECT_EQ(book.Disconnect(2), 0u);
  EXPECT_TRUE(book.OnValue(b, Int(7)));
  const auto refreshed = book.Refresh();
  ASSERT_EQ(refreshed.size(), 2u);
  EXPECT_EQ(refreshed[0].first, 3);
  EXPECT_EQ(refreshed[1].first, 4);
  // Handles no book gives out, from a bus that sends nonsense, are ignored.
  for (uint32_t bad : {0u, 0x00FFFFFFu, 0xFF000000u, c + 0x1000u}) {
    EXPECT_FALSE(book.OnValue(bad, Int(2))) << bad;
    EXPECT_EQ(book.RequestText(bad), "") << bad;
  }

  // Many changed topics closed before Excel refreshes: none is listed, the rest are,
  // once each, and every text can be found again afterwards.
  constexpr int kMany = 20000;
  for (int i = 0; i < kMany; ++i) {
    const auto opened = book.Connect(100 + i, "T" + std::to_string(i));
    ASSERT_EQ(opened.outcome, ConnectOutcome::kOk);
    book.OnValue(opened.handle, Int(i));
  }
  for (int i = 0; i < kMany; ++i) {
    if (i % 4 != 3) {
      ASSERT_NE(book.Disconnect(100 + i), 0u);
    }
  }
  const auto after = book.Refresh();
  EXPECT_EQ(after.size(), static_cast<size_t>(kMany / 4));
  for (const auto& [cell, value] : after) {
    ASSERT_EQ((cell - 100) % 4, 3);
    EXPECT_EQ(value.int32, cell - 100);
  }
  for (int i = 3; i < kMany; i += 4) {
    ASSERT_FALSE(book.Connect(-i, "T" + std::to_string(i)).new_bus_topic) << i;
  }
  EXPECT_EQ(book.bus_topic_count(), static_cast<size_t>(kMany / 4) + 2);
  EXPECT_EQ(book.OpenBusTopics().size(), book.bus_topic_count());
}

TEST(TopicBookTest, TheCountAndTheTextBytesAfterTheAddressAreBounded) {
  EXPECT_EQ(TopicTextBytes("@ABC,XYZ:12345"), 5u);
  EXPECT_EQ(TopicTextBytes("12345"), 5u);
  EXPECT_EQ(TopicTextBytes("@ABC"), 0u);
  EXPECT_EQ(TopicTextBytes(""), 0u);

  BookLimits limits;
  limits.topics = 3;
  limits.text_bytes = 10;
  RtdTopicBook book(limits);
  EXPECT_EQ(book.Connect(1, "@A:12345").outcome, ConnectOutcome::kOk);
  EXPECT_EQ(book.Connect(2, "@LONG,SIDS:1234").outcome, ConnectOutcome::kOk);
  EXPECT_EQ(book.Connect(3, "@A:12").outcome, ConnectOutcome::kTooManyTopics);  // 11 bytes
  EXPECT_EQ(book.Connect(3, "@A:").outcome, ConnectOutcome::kOk);
  EXPECT_EQ(book.Connect(4, "X").outcome, ConnectOutcome::kTooManyTopics);  // a fourth topic
  // Cells of an open text cost nothing more.
  EXPECT_EQ(book.Connect(4, "@A:12345").outcome, ConnectOutcome::kOk);
  EXPECT_EQ(book.cell_count(), 4u);
  // The text's bytes come back with its last cell.
  EXPECT_NE(book.Disconnect(2), 0u);
  EXPECT_EQ(book.Connect(5, "@B:1234").outcome, ConnectOutcome::kOk);

  RtdTopicBook none(BookLimits::ForBus(2, 64 * 1024));
  EXPECT_EQ(none.Connect(1, "X").outcome, ConnectOutcome::kTooManyTopics);
}

}  // namespace
}  // namespace orvex::rtd
