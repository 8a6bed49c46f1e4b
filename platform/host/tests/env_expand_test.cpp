#include "platform/env_expand.h"

#include <gtest/gtest.h>

#include "platform/process.h"

namespace orvex::platform {
namespace {

class EnvExpandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvVar("ORVEX_EXPAND_A", "alpha");
    SetEnvVar("ORVEX_EXPAND_EMPTYISH", "x");
  }
  void TearDown() override {
    SetEnvVar("ORVEX_EXPAND_A", nullptr);
    SetEnvVar("ORVEX_EXPAND_EMPTYISH", nullptr);
  }
  static std::string Expand(const std::string& text, uint32_t* size = nullptr) {
    std::string out = "stale";
    const uint32_t needed = ExpandEnvironmentText(text, &out);
    if (size) *size = needed;
    return out;
  }
};

TEST_F(EnvExpandTest, KnownNamesAreReplacedIgnoringCase) {
  uint32_t size = 0;
  EXPECT_EQ(Expand("%ORVEX_EXPAND_A%\\dir", &size), "alpha\\dir");
  EXPECT_EQ(size, 10u) << "the length counts the terminating zero";
  EXPECT_EQ(Expand("%orvex_expand_a%%Orvex_Expand_A%"), "alphaalpha");
  EXPECT_EQ(Expand("plain"), "plain");
  EXPECT_EQ(Expand("", &size), "");
  EXPECT_EQ(size, 1u);
}

TEST_F(EnvExpandTest, UnknownNamesAndLonePercentsStayAsWritten) {
  EXPECT_EQ(Expand("%ORVEX_EXPAND_NONE%\\x"), "%ORVEX_EXPAND_NONE%\\x");
  // After an unknown name the scan goes on behind its closing percent sign.
  EXPECT_EQ(Expand("%ORVEX_EXPAND_NONE%ORVEX_EXPAND_A%"), "%ORVEX_EXPAND_NONE%ORVEX_EXPAND_A%");
  EXPECT_EQ(Expand("100% %ORVEX_EXPAND_A%"), "100% %ORVEX_EXPAND_A%");
  EXPECT_EQ(Expand("%ORVEX_EXPAND_A%50%"), "alpha50%");
  EXPECT_EQ(Expand("%"), "%");
}

}  // namespace
}  // namespace orvex::platform
