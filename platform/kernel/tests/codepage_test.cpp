#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace orvex::platform {
namespace {

TEST(CodePage, AsciiAndLatin1PassThrough) {
  EXPECT_EQ(WideToAnsi(u"Hello, 123"), "Hello, 123");
  EXPECT_EQ(WideToAnsi(u"\u00a0\u00e9\u00ff"), "\xa0\xe9\xff");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(CodePage, Windows1252Specials) {
  EXPECT_EQ(WideToAnsi(u"\u20ac\u2018\u2019\u201c\u201d\u2122\u0152\u0178"),
            "\x80\x91\x92\x93\x94\x99\x8c\x9f");
}

TEST(CodePage, C1Controls) {
  // The five undefined positions of the code page map to themselves; the other C1
  // controls have no counterpart.
  EXPECT_EQ(WideToAnsi(u"\u0081\u008d\u008f\u0090\u009d"), "\x81\x8d\x8f\x90\x9d");
  EXPECT_EQ(WideToAnsi(u"\u0080\u0085\u009f"), "???");
}

TEST(CodePage, BestFitAndUnmappable) {
  EXPECT_EQ(WideToAnsi(u"\u0100\u0107\u0141"), "AcL");
  EXPECT_EQ(WideToAnsi(u"\u4e2d\u0416\uffff"), "???");
  // A surrogate pair is two units and gives two characters.
  EXPECT_EQ(WideToAnsi(u"\U0001F600"), "??");
}

TEST(CodePage, StopsAtTheFirstZeroUnit) {
  EXPECT_EQ(WideToAnsi(std::u16string_view(u"ab\0cd", 5)), "ab");
}

TEST(CodePage, OneBytePerUnit) {
  std::u16string text;
  for (char16_t u = 1; u < 0x800; ++u) text.push_back(u);
  EXPECT_EQ(WideToAnsi(text).size(), text.size());
}

}  // namespace
}  // namespace orvex::platform
