#include <gtest/gtest.h>

#include <string>

#include "text/hex.h"
#include "text/typed_number.h"

namespace {

// The repeater column, the hexadecimal reply dump, Screen2's line settings and the
// snapshot's path all show this one form.
TEST(HexText, UpperCaseWithoutLeadingZeros) {
    const struct {
        unsigned value;
        const char* text;
    } cases[] = {{0, "0"}, {9, "9"}, {10, "A"}, {15, "F"}, {16, "10"}, {0xAB, "AB"}, {0x0F0, "F0"}, {0xFFFFFFFFu, "FFFFFFFF"}};
    for (const auto& c : cases) EXPECT_EQ(HexText(c.value), c.text) << c.value;
}

TEST(HexText, NegativeIntReadsAsItsBitPattern) { EXPECT_EQ(HexText(-1), "FFFFFFFF"); }

// Ports and address parts read digits only: where a typed number would go on
// (fraction, exponent) this stops, and white space of any kind leads.
TEST(DecimalValue, DigitsOnlyAfterBlanksAndSign) {
    const struct {
        const char* text;
        long value;
    } cases[] = {{"47001", 47001}, {"  \n 8", 8},    {"-12", -12},  {"+7x", 7},          {"1.9", 1},
                 {"1e3", 1},       {"", 0},          {"abc", 0},    {"999999999999", 999999999}};
    for (const auto& c : cases) EXPECT_EQ(DecimalValue(c.text), c.value) << c.text;
}

}  // namespace
