#include <gtest/gtest.h>

#include "protocol/protocol.h"
#include "support/frames.h"

namespace {

std::vector<uint8_t> Bytes(const RequestFrame& f) { return {f.bytes.begin(), f.bytes.end()}; }

TEST(RequestFrameTest, PollByNumberOneIsTheWrittenExample) {
    RequestFrame f;
    BuildPollByNumber(f, 1);
    EXPECT_EQ(Bytes(f), HexFrame("F8 FF FF 01 00 0D 80 74"));
}

TEST(RequestFrameTest, PollByNumberWrapsTheCounterByte) {
    RequestFrame f;
    BuildPollByNumber(f, 255);
    EXPECT_EQ(Bytes(f), FillXor(HexFrame("F8 FF FF FF 00 0D 80 00")));
    BuildPollByNumber(f, 0);
    EXPECT_EQ(Bytes(f), FillXor(HexFrame("F8 FF FF 00 00 0D 80 00")));
}

TEST(RequestFrameTest, EveryVariantCarriesSerialBigEndianAndXor) {
    RequestFrame f;
    // Diagnostics poll / EEPROM read of "RS232 Mode" (0x0D95) from 5000001 = 0x4C4B41.
    BuildRequest(f, 0xF8, 5000001, 0x0D, 0x95);
    EXPECT_EQ(Bytes(f), HexFrame("F8 4C 4B 41 00 0D 95 26"));
    // EEPROM write: the value twice.
    BuildRequest(f, 0xF9, 5000001, 0x13, 0x13);
    EXPECT_EQ(Bytes(f), HexFrame("F9 4C 4B 41 00 13 13 BF"));
    // Store after a confirmed write: the address.
    BuildRequest(f, 0xFA, 5000001, 0x0D, 0x95);
    EXPECT_EQ(Bytes(f), HexFrame("FA 4C 4B 41 00 0D 95 24"));
    // A row below the base: "High Noise" at 0x040D.
    BuildRequest(f, 0xF8, 0x123456, 0x04, 0x0D);
    EXPECT_EQ(Bytes(f), HexFrame("F8 12 34 56 00 04 0D 81"));
}

TEST(RequestFrameTest, SerialAboveTwentyFourBitsKeepsItsLowBytes) {
    RequestFrame f;
    BuildRequest(f, 0xF8, 0x01ABCDEF, 0x0D, 0x80);
    EXPECT_EQ(Bytes(f), FillXor(HexFrame("F8 AB CD EF 00 0D 80 00")));
}

}  // namespace
