#include "tools/reg_text.h"

#include <gtest/gtest.h>

namespace orvex::tools {
namespace {

TEST(RegText, ValuesPrintAsRegLines) {
  EXPECT_EQ(RegValueLine("", 1, {'a', '"', '\\', 0}), "@=\"a\\\"\\\\\"");
  EXPECT_EQ(RegValueLine("Path\\x", 1, {0}), "\"Path\\\\x\"=\"\"");
  EXPECT_EQ(RegValueLine("n", 4, {1, 0, 0, 0x80}), "\"n\"=dword:80000001");
  EXPECT_EQ(RegValueLine("b", 3, {0, 0xAB}), "\"b\"=hex:00,ab");
  EXPECT_EQ(RegValueLine("e", 2, {'%', 0}), "\"e\"=hex(2):25,00");
  // Texts that a quoted string cannot carry exactly keep their bytes.
  EXPECT_EQ(RegValueLine("s", 1, {'a', 0, 'b', 0}), "\"s\"=hex(1):61,00,62,00");
  EXPECT_EQ(RegValueLine("s", 1, {'a'}), "\"s\"=hex(1):61");
  EXPECT_EQ(RegValueLine("d", 4, {1, 2}), "\"d\"=hex(4):01,02");
  EXPECT_EQ(RegValueLine("q", 11, {}), "\"q\"=hex(b):");
}

}  // namespace
}  // namespace orvex::tools
