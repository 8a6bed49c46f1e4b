#include "syslog_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvex::platform {
namespace {

std::vector<std::string> Feed(SyslogLineComposer* composer, std::vector<const char*> pieces) {
  std::vector<std::string> records;
  for (const char* piece : pieces) {
    std::string record;
    if (composer->Add(piece, &record)) records.push_back(record);
  }
  return records;
}

TEST(SyslogLineComposerTest, TheFourPiecesOfATraceLineMakeOneRecord) {
  SyslogLineComposer composer;
  EXPECT_EQ(Feed(&composer, {"DBG", ": ", "Connected", "\n", "INF", ": ", "", "\n"}),
            (std::vector<std::string>{"DBG: Connected", "INF: "}));
  // Line feeds inside a composed text stay inside its record.
  EXPECT_EQ(Feed(&composer, {"DBG", ": ", "\nExcel Installed: true\nExcel Version  : 16", "\n"}),
            (std::vector<std::string>{"DBG: \nExcel Installed: true\nExcel Version  : 16"}));
}

TEST(SyslogLineComposerTest, ALineThatNeverEndsIsPassedOnInBoundedParts) {
  SyslogLineComposer composer;
  const std::string chunk(1000, 'x');
  std::vector<std::string> records;
  for (int i = 0; i < 20; ++i) {
    std::string record;
    if (composer.Add(chunk.c_str(), &record)) records.push_back(record);
  }
  ASSERT_EQ(records.size(), 2u);
  for (const std::string& r : records) EXPECT_GE(r.size(), SyslogLineComposer::kMaxRecord);
  for (const std::string& r : records) EXPECT_LT(r.size(), SyslogLineComposer::kMaxRecord + 1000);
  std::string last;
  ASSERT_TRUE(composer.Add("\n", &last));
  EXPECT_EQ(last.size(), 20 * 1000 - records[0].size() - records[1].size());
}

}  // namespace
}  // namespace orvex::platform
