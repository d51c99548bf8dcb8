#include "text/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace tavril {
namespace {

TEST(TextEncoding, ConvertsWindows1252ToUtf8) {
  EXPECT_EQ("Essai", Windows1252ToUtf8("Essai"));
  EXPECT_EQ("l'entr\u00e9e", Windows1252ToUtf8("l'entr\xE9"
                                               "e"));
  EXPECT_EQ("\u00a7", Windows1252ToUtf8("\xA7"));
  EXPECT_EQ("\u20ac \u2019 \u0153 \u0178", Windows1252ToUtf8("\x80 \x92 \x9C \x9F"));
  EXPECT_EQ("\u0081\u008d\u008f\u0090\u009d", Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"));
  EXPECT_EQ("a\r\nb", Windows1252ToUtf8("a\r\nb"));
}

TEST(TextEncoding, EveryByteRoundTrips) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(all, Utf8ToWindows1252(Windows1252ToUtf8(all)));
}

TEST(TextEncoding, MarksWhatWindows1252CannotHold) {
  EXPECT_EQ("caf\xE9 ? ?", Utf8ToWindows1252("caf\u00e9 \u4e2d \U0001F600"));
  EXPECT_EQ("?a", Utf8ToWindows1252("\xC3"
                                    "a"));  // a lead byte without its continuation
  EXPECT_EQ("??", Utf8ToWindows1252("\xFF\xFE"));
  EXPECT_EQ("??", Utf8ToWindows1252("\xE2\x82"));  // cut short: each stray byte is marked
}

}  // namespace
}  // namespace tavril
