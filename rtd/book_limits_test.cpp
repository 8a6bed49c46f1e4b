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
  constexpr int64_t kUnset = -1;
  constexpr int64_t kAsText = -2;  // written as REG_SZ
  struct Case {
    const char* what;
    int64_t topics;
    int64_t text_bytes;
    size_t expect_topics;
    size_t expect_text_bytes;
  };
  const BookLimits defaults;
  const size_t topics0 = defaults.topics;
  const size_t text0 = defaults.text_bytes;
  EXPECT_EQ(topics0, kBusDefaultTopics - 2);
  EXPECT_EQ(text0, kBusDefaultTextBytes - 13);
  const Case cases[] = {
      {"nothing set", kUnset, kUnset, topics0, text0},
      {"both set", 1000000, 64 << 20, 1000000 - 2, (64u << 20) - 13},
      {"smallest allowed: the link's own topics leave none", 1, 65536, 0, 65536 - 13},
      {"zero topics, text below one longest topic", 0, 65535, topics0, text0},
      {"text of another type", 5, kAsText, 3, text0},
      {"more than the book's handles can name", 0xFFFFFFFF, kUnset, kMaxBookSlots, text0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    key.DeleteValue(kBusTopicsValue);
    key.DeleteValue(kBusTextBytesValue);
    if (c.topics >= 0) {
      ASSERT_TRUE(key.WriteDword(kBusTopicsValue, static_cast<uint32_t>(c.topics)));
    }
    if (c.text_bytes == kAsText) {
      ASSERT_TRUE(key.WriteString(kBusTextBytesValue, "lots"));
    }
    if (c.text_bytes >= 0) {
      ASSERT_TRUE(key.WriteDword(kBusTextBytesValue, static_cast<uint32_t>(c.text_bytes)));
    }
    const BookLimits limits = BookLimits::FromSettings();
    EXPECT_EQ(limits.topics, c.expect_topics);
    EXPECT_EQ(limits.text_bytes, c.expect_text_bytes);
  }
}

}  // namespace
}  // namespace orvex::rtd
