#include <gtest/gtest.h>

#include <cmath>

#include "text/format_number.h"

namespace {

TEST(FormatNumberWidths, FilledIntegerFieldsAreRightAligned) {
    EXPECT_EQ(FormatNumber(7, "* #"), "  7");
    EXPECT_EQ(FormatNumber(7, "* ##"), "   7");
    EXPECT_EQ(FormatNumber(7, "* ###"), "    7");
    EXPECT_EQ(FormatNumber(7, "* ####"), "     7");
    EXPECT_EQ(FormatNumber(7, "* #####"), "      7");
    EXPECT_EQ(FormatNumber(7, "* ######"), "       7");
    EXPECT_EQ(FormatNumber(123, "* ##"), " 123");
    EXPECT_EQ(FormatNumber(123456, "* ######"), "  123456");
}

TEST(FormatNumberWidths, FilledDecimalFields) {
    EXPECT_EQ(FormatNumber(3.14, "* #.0"), "  3.1");
    EXPECT_EQ(FormatNumber(12.25, "* ##.0"), "  12.3");
    EXPECT_EQ(FormatNumber(0.5, "* .0"), "  .5");
    EXPECT_EQ(FormatNumber(13.5, "* .0"), "13.5");
    EXPECT_EQ(FormatNumber(4.06, "* .0"), " 4.1");
    EXPECT_EQ(FormatNumber(0, "* .0 "), "  .0 ");
    EXPECT_EQ(FormatNumber(1.234, "* #.00"), "  1.23");
}

TEST(FormatNumberWidths, LettersAreDroppedAndBlanksKept) {
    EXPECT_EQ(FormatNumber(12345, "######## "), "12345 ");
    EXPECT_EQ(FormatNumber(5, "Slot=* ##"), "   5");
    EXPECT_EQ(FormatNumber(5, "Poll * # "), "   5 ");
    // "e" is a letter like any other here.
    EXPECT_EQ(FormatNumber(3, "                Radio Number ## Serial  "),
              std::string(18, ' ') + "3" + std::string(3, ' '));
    EXPECT_EQ(FormatNumber(42, "$(###)+"), "$(42)+");
}

TEST(FormatNumberWidths, LongNumbersWiden) {
    EXPECT_EQ(FormatNumber(1234, "###"), "1234");
    EXPECT_EQ(FormatNumber(123456, "* ##"), "123456");
    EXPECT_EQ(FormatNumber(1234, " * #"), " 1234");
    EXPECT_EQ(FormatNumber(123.45, "* .0"), "123.5");
    EXPECT_EQ(FormatNumber(99.96, "* #.0"), "100.0");
    EXPECT_EQ(FormatNumber(77, ""), "77");
}

TEST(FormatNumberDigits, HashShowsNothingWhereTheNumberHasNoDigit) {
    EXPECT_EQ(FormatNumber(12.345, "###.0"), "12.3");
    EXPECT_EQ(FormatNumber(5, "###"), "5");
    EXPECT_EQ(FormatNumber(5, "#### "), "5 ");
    EXPECT_EQ(FormatNumber(42, "###    "), "42    ");
}

TEST(FormatNumberDigits, ZeroPositionsAlwaysShow) {
    EXPECT_EQ(FormatNumber(5, "000"), "005");
    EXPECT_EQ(FormatNumber(0.25, "0.0"), "0.3");
    EXPECT_EQ(FormatNumber(12.04, "0.0"), "12.0");
    EXPECT_EQ(FormatNumber(1, "* .#0 "), " 1.00 ");
}

TEST(FormatNumberDigits, ZeroIntegerPart) {
    EXPECT_EQ(FormatNumber(0, "* #"), "  0");
    EXPECT_EQ(FormatNumber(0, "###"), "0");
    EXPECT_EQ(FormatNumber(0, "#.0"), "0.0");  // graph label "0.0K"
    EXPECT_EQ(FormatNumber(4, "#.0"), "4.0");
    EXPECT_EQ(FormatNumber(0.2f, "###.0"), "0.2");
    EXPECT_EQ(FormatNumber(0.5, "* #.0"), "  0.5");
    EXPECT_EQ(FormatNumber(0.25, "* .#0 "), "  .25 ");
    EXPECT_EQ(FormatNumber(0, "###.##"), "0");
}

TEST(FormatNumberRounding, HalfAwayFromZero) {
    EXPECT_EQ(FormatNumber(2.5, "###"), "3");
    EXPECT_EQ(FormatNumber(-2.5, "###"), "-3");
    EXPECT_EQ(FormatNumber(0.05, "* .0"), "  .1");
    EXPECT_EQ(FormatNumber(2.675, "#.00"), "2.68");
    EXPECT_EQ(FormatNumber(0.04, "* .0"), "  .0");
    EXPECT_EQ(FormatNumber(9.999, "* #.00"), " 10.00");
    EXPECT_EQ(FormatNumber(0.4, "* #"), "  0");
    EXPECT_EQ(FormatNumber(0.5, "* #"), "  1");
}

TEST(FormatNumberFraction, HashDropsTrailingZeros) {
    EXPECT_EQ(FormatNumber(8, "###.##"), "8");
    EXPECT_EQ(FormatNumber(6.666, "###.##"), "6.67");
    EXPECT_EQ(FormatNumber(2.5, "###.##"), "2.5");
    EXPECT_EQ(FormatNumber(120, "###.##"), "120");
    EXPECT_EQ(FormatNumber(1.5, "* .#0 "), " 1.50 ");
    EXPECT_EQ(FormatNumber(1.25, "* .#0 "), " 1.25 ");
    EXPECT_EQ(FormatNumber(10.004, "* .#0 "), "10.00 ");
}

TEST(FormatNumberSign, MinusTakesAFillPosition) {
    EXPECT_EQ(FormatNumber(-1.5, "* #.0"), " -1.5");
    EXPECT_EQ(FormatNumber(-12.8, "* ##.0"), " -12.8");
    EXPECT_EQ(FormatNumber(-7, "* ##"), "  -7");
    EXPECT_EQ(FormatNumber(-123, "* ##"), "-123");
    EXPECT_EQ(FormatNumber(-1234, "* ##"), "-1234");
    EXPECT_EQ(FormatNumber(-0.5, "* .0"), " -.5");
    EXPECT_EQ(FormatNumber(-15, "###"), "-15");
    EXPECT_EQ(FormatNumber(-0.5, "#.0"), "-0.5");
    EXPECT_EQ(FormatNumber(-5, "00"), "-05");
    EXPECT_EQ(FormatNumber(-12, " * "), " -12");
}

TEST(FormatNumberSign, RoundedZeroHasNoSign) {
    EXPECT_EQ(FormatNumber(-0.04, "* #.0"), "  0.0");
    EXPECT_EQ(FormatNumber(-0.2, "###"), "0");
}

TEST(FormatNumberFill, AnyFillCharacter) {
    EXPECT_EQ(FormatNumber(5, "Poll *0 # "), " 00 5 ");
    EXPECT_EQ(FormatNumber(5, "*x###"), "xxxx5");
    EXPECT_EQ(FormatNumber(3, "* #   "), "  3   ");
}

TEST(FormatNumberOddInput, NonFiniteShowsZero) {
    EXPECT_EQ(FormatNumber(std::nan(""), "* ##"), "   0");
    EXPECT_EQ(FormatNumber(1.0 / 0.0, "###"), "0");
    EXPECT_EQ(FormatNumber(1e20, "#"), "100000000000000000000");
    EXPECT_EQ(FormatNumber(5, "*"), "5");
}

}  // namespace
