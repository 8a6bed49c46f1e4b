// The book's limits follow the bus's, as the bus program reads them from the registry.
#include "rtd/book_limits.h"

#include <gtest/gtest.h>

#include "bus/rtd_server.h"
#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"

namespace orvex::rtd {
namespace {

TEST(BookLimitsTest, TheBusSettingsLessTheLinksOwnTopicsWithinTheSameRanges) {
  // The book's idea of the bus's defaults is the bus's own.
  const RtdServer::Options bus;
  EXPECT_EQ(kBusDefaultTopics, bus.max_topics_per_client);
  EXPECT_EQ(kBusDefaultTextBytes, bus.max_topic_text_bytes_per_client);
  EXPECT_EQ(kBusLeastTextBytes, bus.max_topic_text_bytes);

  platform::RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const SfRegKeyPath key(RegRoot::kCurrentUser, kBusSettingsKey);
  ASSERT_TRUE(key.Create());
  const BookLimits defaults;
  EXPECT_EQ(defaults.topics, kBusDefaultTopics - 2);
  EXPECT_EQ(defaults.text_bytes, kBusDefaultTextBytes - 13);
  constexpr int64_t kUnset = -1;
  constexpr int64_t kAsText = -2;  // written as REG_SZ
  const auto book = [](size_t topics, size_t text_bytes) {
    BookLimits limits;
    limits.topics = topics;
    limits.text_bytes = text_bytes;
    return limits;
  };
  const size_t text0 = defaults.text_bytes;
  const struct {
    const char* what;
    int64_t topics, text_bytes;  // as written
    BookLimits expect;
  } cases[] = {
      {"nothing set", kUnset, kUnset, defaults},
      {"both set", 1000000, 64 << 20, book(1000000 - 2, (64u << 20) - 13)},
      {"smallest allowed: the link's own topics leave none", 1, 65536, book(0, 65536 - 13)},
      {"zero topics, text below one longest topic", 0, 65535, defaults},
      {"text of another type", 5, kAsText, book(3, text0)},
      {"more than the book's handles can name", 0xFFFFFFFF, kUnset, book(kMaxBookSlots, text0)},
  };
  // Each value as a case gives it: missing, text, or a number.
  const auto put = [&](const char* name, int64_t value) {
    key.DeleteValue(name);
    const bool written = value == kUnset    ? true
                         : value == kAsText ? key.WriteString(name, "lots")
                                            : key.WriteDword(name, static_cast<uint32_t>(value));
    EXPECT_TRUE(written) << name;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    put(kBusTopicsValue, c.topics);
    put(kBusTextBytesValue, c.text_bytes);
    const BookLimits limits = BookLimits::FromSettings();
    EXPECT_EQ(limits.topics, c.expect.topics);
    EXPECT_EQ(limits.text_bytes, c.expect.text_bytes);
  }
}

}  // namespace
}  // namespace orvex::rtd
