// The bus program's registry settings against a private registry: values in range are
// taken, anything else is ignored with a line that names it.
#include "bus/app/flow_settings.h"

#include <gtest/gtest.h>

#include "bus/app/auto_start.h"
#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"
#include "threading/trace.h"

namespace orvex {
namespace {

TEST(FlowSettingsTest, TopicLimitsAreReadWithinTheirRangesAndLogged) {
  platform::RegistrySandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const SfRegKeyPath key(RegRoot::kCurrentUser, kAutoStartKey);
  ASSERT_TRUE(key.Create());
  const RtdServer::Options defaults;
  // The defaults hold a workbook of 250,000 cells, one 64-character topic each.
  EXPECT_GE(defaults.max_topics_per_client, 250000u);
  EXPECT_GE(defaults.max_topic_text_bytes_per_client, 250000u * 64);

  constexpr int64_t kUnset = -1;
  constexpr int64_t kAsText = -2;  // written as REG_SZ
  struct Case {
    const char* what;
    int64_t topics;
    int64_t text_bytes;
    size_t expect_topics;
    size_t expect_text_bytes;
  };
  const size_t topics0 = defaults.max_topics_per_client;
  const size_t text0 = defaults.max_topic_text_bytes_per_client;
  const Case cases[] = {
      {"both set", 1000000, 64 << 20, 1000000, 64u << 20},
      {"smallest allowed", 1, 65536, 1, 65536},
      {"zero topics, text below one longest topic", 0, 65535, topics0, text0},
      {"text of another type", 5, kAsText, 5, text0},
      {"nothing set", kUnset, kUnset, topics0, text0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    key.DeleteValue(kMaxTopicsValue);
    key.DeleteValue(kMaxTopicTextValue);
    if (c.topics >= 0) {
      ASSERT_TRUE(key.WriteDword(kMaxTopicsValue, static_cast<uint32_t>(c.topics)));
    }
    if (c.text_bytes == kAsText) {
      ASSERT_TRUE(key.WriteString(kMaxTopicTextValue, "lots"));
    }
    if (c.text_bytes >= 0) {
      ASSERT_TRUE(key.WriteDword(kMaxTopicTextValue, static_cast<uint32_t>(c.text_bytes)));
    }
    RtdServer::Options options;
    ReadTopicLimitSettings(&options);
    EXPECT_EQ(options.max_topics_per_client, c.expect_topics);
    EXPECT_EQ(options.max_topic_text_bytes_per_client, c.expect_text_bytes);
    // The limits in force are logged last, as the bus will apply them.
    EXPECT_EQ(TheTraceRecord().text, "Topic limits per client: " + std::to_string(c.expect_topics) +
                                         " topics, " + std::to_string(c.expect_text_bytes) +
                                         " bytes of topic text");
  }
}

}  // namespace
}  // namespace orvex
