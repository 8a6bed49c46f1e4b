#include "bridge/bridge_config.h"

#include <gtest/gtest.h>

namespace orvex::bridge {
namespace {

TEST(BridgeConfigTest, FileKeysAndOverrides) {
  BridgeConfig config;
  std::string error;
  ASSERT_TRUE(
      ApplyConfigText("# desk feed\n"
                      "servers = nats://127.0.0.1:4222, nats://127.0.0.1:4223\r\n"
                      "\n"
                      "sid = MD\n"
                      "subject-prefix = md.\n"
                      "bucket = last_values\n"
                      "link = classic\n"
                      "max-value-bytes = 4096\n"
                      "token = s3cret = yes\n"
                      "export = @ABC:PX.1\n"
                      "export = @ABC:PX 2 => px.two\n",
                      &config, &error))
      << error;
  EXPECT_EQ(config.servers,
            (std::vector<std::string>{"nats://127.0.0.1:4222", "nats://127.0.0.1:4223"}));
  EXPECT_EQ(config.sid, "MD");
  EXPECT_EQ(config.bucket, "last_values");
  EXPECT_EQ(config.link, client::LinkKind::kClassic);
  EXPECT_EQ(config.max_value_bytes, 4096u);
  EXPECT_EQ(config.token, "s3cret = yes");
  // A command-line override replaces the file's value.
  ASSERT_TRUE(ApplyConfigKey("subject-prefix", "desk.", &config, &error));
  ASSERT_TRUE(ResolveExports(&config, &error)) << error;
  ASSERT_EQ(config.exports.size(), 2u);
  EXPECT_EQ(config.exports[0].subject, "desk.PX.1");
  EXPECT_EQ(config.exports[1].subject, "px.two");
}

TEST(BridgeConfigTest, BadLinesNameTheLineAndTheReason) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sid = TOOLONGSID1", "line 1: sid"},
      {"\nlink = tcp", "line 2: link"},
      {"colour = blue", "unknown key 'colour'"},
      {"servers", "expected key = value"},
      {"max-value-bytes = 0", "max-value-bytes"},
      {"bucket = a.b", "bucket"},
      {"export-file = /nonexistent/exports.txt", "cannot read"},
  };
  for (const auto& [text, expected] : cases) {
    BridgeConfig config;
    std::string error;
    EXPECT_FALSE(ApplyConfigText(text, &config, &error)) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
  }
  BridgeConfig twice;
  std::string error;
  ASSERT_TRUE(ApplyConfigText("export = @A:X\nexport = @B:X\n", &twice, &error));
  EXPECT_FALSE(ResolveExports(&twice, &error));
  EXPECT_NE(error.find("exported twice"), std::string::npos);
  // Exporting the bridge's own topics would feed them back to it without end.
  BridgeConfig loop;
  ASSERT_TRUE(ApplyConfigText("sid = md\nexport = @ABC, Md :X\n", &loop, &error));
  EXPECT_FALSE(ResolveExports(&loop, &error));
  EXPECT_NE(error.find("own SID MD cannot be exported"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvex::bridge
