#include <gtest/gtest.h>

#include "util/Text.h"
#include "util/WholeNumber.h"

namespace quillon {
namespace {

TEST(TextRoutines, LastPosFindsTheLastOccurrence) {
  EXPECT_EQ(LastPos("/", "/a/b"), 3u);
  EXPECT_EQ(LastPos("|", "a|b|c"), 4u);
  EXPECT_EQ(LastPos("xy", "axyxyb"), 4u);
  EXPECT_EQ(LastPos("", "abc"), 0u);
  EXPECT_EQ(LastPos("z", "abc"), 0u);
  EXPECT_EQ(LastPos("abcd", "abc"), 0u);
}

TEST(TextRoutines, ReverseText) {
  EXPECT_EQ(ReverseText("abc"), "cba");
  EXPECT_EQ(ReverseText(""), "");
}

TEST(TextRoutines, ShortenLeftKeepsTheEndOfTheText) {
  EXPECT_EQ(ShortenLeft("abcdefghij", 8), "...fghij");
  EXPECT_EQ(ShortenLeft("abcdefghij", 10), "abcdefghij");
  EXPECT_EQ(ShortenLeft("abcdefghij", 11), "abcdefghij");
  EXPECT_EQ(ShortenLeft("abcdefghij", 2), "...");
  EXPECT_EQ(ShortenLeft("abcdefghij", 0), "...");
  EXPECT_EQ(ShortenLeft("abcdefghij", 4), "...j");
  // A width wrapped from a negative count is large: the whole text shows.
  EXPECT_EQ(ShortenLeft("abcdefghij", static_cast<std::uint16_t>(-3)), "abcdefghij");
}

TEST(TextRoutines, GroupThousands) {
  EXPECT_EQ(GroupThousands(""), "");
  EXPECT_EQ(GroupThousands("-"), "-");
  EXPECT_EQ(GroupThousands("12"), "12");
  EXPECT_EQ(GroupThousands("999"), "999");
  EXPECT_EQ(GroupThousands("-123"), "-123");
  EXPECT_EQ(GroupThousands("1234"), "1.234");
  EXPECT_EQ(GroupThousands("-1234"), "-1.234");
  EXPECT_EQ(GroupThousands("123456"), "123.456");
  EXPECT_EQ(GroupThousands("1234567"), "1.234.567");
  EXPECT_EQ(GroupThousands("18446744073709551615"), "18.446.744.073.709.551.615");
}

TEST(TextRoutines, AsciiCaseFoldingLeavesOtherBytesAlone) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Fill", "fILL"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC4", "\xE4"));  // Ä and ä in Latin-1
  EXPECT_FALSE(EqualsIgnoringAsciiCase("ab", "abc"));
}

TEST(WholeNumber, DecimalWithBlanksAndSign) {
  EXPECT_EQ(ReadWholeNumber(" 12"), 12);
  EXPECT_EQ(ReadWholeNumber("007"), 7);
  EXPECT_EQ(ReadWholeNumber("+5"), 5);
  EXPECT_EQ(ReadWholeNumber("-5"), -5);
  EXPECT_EQ(ReadWholeNumber("2147483647"), 2147483647);
  EXPECT_EQ(ReadWholeNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadWholeNumber("2147483648"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("-2147483649"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("99999999999999999999"), std::nullopt);
}

TEST(WholeNumber, Hexadecimal) {
  EXPECT_EQ(ReadWholeNumber("$1F"), 31);
  EXPECT_EQ(ReadWholeNumber("0x1f"), 31);
  EXPECT_EQ(ReadWholeNumber("X10"), 16);
  EXPECT_EQ(ReadWholeNumber("0X0"), 0);
  EXPECT_EQ(ReadWholeNumber("$FFFFFFFF"), -1);
  EXPECT_EQ(ReadWholeNumber("$80000000"), INT32_MIN);
  EXPECT_EQ(ReadWholeNumber(" $7fffffff"), INT32_MAX);
  EXPECT_EQ(ReadWholeNumber("$100000000"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("$"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("0x"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("$1G"), std::nullopt);
}

TEST(WholeNumber, RefusesAnythingElse) {
  for (const char* text :
       {"", " ", "+", "-", "12 ", "1e3", "-$10", "+0x1", "1.5", "a", "12a", "\t12", "--1"}) {
    EXPECT_EQ(ReadWholeNumber(text), std::nullopt) << '"' << text << '"';
  }
  EXPECT_EQ(ReadWholeNumberOr("abc", 48), 48);
  EXPECT_EQ(ReadWholeNumberOr("-5", 0), -5);
}

// Found by fuzzing.
TEST(WholeNumber, HexadecimalNumbersMayHaveLeadingZerosLikeDecimalOnes) {
  EXPECT_EQ(ReadWholeNumber("0X000000010"), 16);
  EXPECT_EQ(ReadWholeNumber("$00000000FFFFFFFF"), -1);
  EXPECT_EQ(ReadWholeNumber("x000"), 0);
  EXPECT_EQ(ReadWholeNumber("0x0100000000"), std::nullopt);  // 33 bits stay refused
  EXPECT_EQ(ReadWholeNumber("0x"), std::nullopt);
}

}  // namespace
}  // namespace quillon
