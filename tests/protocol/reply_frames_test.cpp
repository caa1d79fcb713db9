#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "protocol/decoders.h"
#include "protocol/reply_frames.h"
#include "support/frames.h"

namespace {

// Whether each parse gives a frame for `length` bytes of its type.
bool Parses(uint8_t type, size_t length) {
    std::vector<uint8_t> f(length, 0);
    f[0] = type;
    switch (type) {
        case 0xF0: return ParseMasterStatus(f, 0).has_value();
        case 0xF1: return ParseLinkReport(f, 0).has_value();
        case 0xF5: return ParseTrafficReport(f, 0).has_value();
        case 0xF2: return ParseMemoryEcho(f, 0).has_value();
        case 0xF8: return ParseDiagnostics(f, 0).has_value();
        default: return ParseTrace(f, 0).has_value();
    }
}

TEST(ReplyFrames, TooFewBytesForTheTypeParseToNothing) {
    struct Case {
        uint8_t type;
        size_t shortest;
    };
    for (Case c : {Case{0xF0, 14}, {0xF1, 12}, {0xF5, 12}, {0xF2, 8}, {0xF8, 21}, {0xFB, 21}}) {
        SCOPED_TRACE(c.type);
        EXPECT_FALSE(Parses(c.type, c.shortest - 1));
        EXPECT_TRUE(Parses(c.type, c.shortest));
    }
}

TEST(ReplyFrames, MasterStatusTakesItsDataCountFromBytesEightFiveSix) {
    auto f = AppendXor(HexFrame("F0 5A 12 34 07 01 02 A5 03 00 80 C0 15"));
    auto s = ParseMasterStatus(f, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->dataCount, 3 * 65536 + 1 * 256 + 2);
    EXPECT_TRUE(s->busy);
    EXPECT_EQ(s->noise, 0x25 - 16);  // the busy bit is not part of the level
    EXPECT_EQ(s->slot, 7);
}

TEST(ReplyFrames, ReportSerialsTakeTheMastersTopBitsOnlyWhenShort) {
    struct Case {
        const char* hex;
        uint32_t master;  // 0: no master status yet
        bool named;
        uint32_t serial;
    };
    for (Case c : {Case{"F4 0C 4B 41 00 00 00 00 24 16 00", 0x4A1234, true, 0x4C4B41},
                   {"F4 0C 4B 41 00 00 00 00 24 16 00", 0, false, 0},
                   {"F1 0C 4B 41 00 00 00 00 24 16 00", 0, true, 0x0C4B41},
                   {"F5 00 FF FF 00 00 00 00 24 16 00", 0x4A1234, false, 0},
                   {"F5 01 00 00 00 00 00 00 24 16 00", 0x4A1234, true, 0x410000},
                   {"F5 01 00 00 00 00 00 00 24 16 00", 0, false, 0},
                   {"F5 4C 4B 41 00 00 00 00 24 16 00", 0, true, 0x4C4B41}}) {
        const uint32_t master = c.master;
        SCOPED_TRACE(c.hex);
        auto f = AppendXor(HexFrame(c.hex));
        std::optional<uint32_t> serial;
        if (f[0] == 0xF5) {
            serial = TrafficReportSerial(*ParseTrafficReport(f, 0), master);
        } else {
            serial = LinkReportSerial(*ParseLinkReport(f, 0), master);
        }
        EXPECT_EQ(serial.has_value(), c.named);
        if (c.named) {
            EXPECT_EQ(*serial, c.serial);
        }
    }
}

TEST(ReplyFrames, DiagnosticsHopsAreTheRecordsPresentNotTheCountSent) {
    // Two hops announced, none arrived (a hop-byte time-out): the distance is the
    // radio's own word.
    auto cut = HexFrame("F8 0D 80 46 4C 4B 41 02 C8 3A 1F B3 00 80 9A 40 07 21 16 00 FF");
    auto d = ParseDiagnostics(cut, 0xFF);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->hopCount, 2);
    EXPECT_EQ(d->hops, 0);
    EXPECT_EQ(d->distanceRaw, 0);  // word 0x1600
    EXPECT_FALSE(d->ok());

    auto whole = AppendXor(HexFrame("F8 0D 80 46 4C 4B 41 01 C8 3A 1F B3 00 80 9A 40 07 21"
                                 "2D C6 C0 50 15 00 16 00"));
    d = ParseDiagnostics(whole, 0);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->hops, 1);
    EXPECT_EQ(d->hop(0).serial, 0x2DC6C0u);
    EXPECT_EQ(d->hop(0).signal, 0x50 - 16);
    EXPECT_EQ(d->distanceRaw, HopDistance(d->hop(0)));  // the first hop's word, not the closing one
    EXPECT_NE(d->distanceRaw, 0);
    EXPECT_EQ(d->signal, 0x3A - 16);
    EXPECT_EQ(d->value, 7);
}

TEST(ReplyFrames, TimeFieldIsTheTimeTextOfTheReply) {
    for (LocalTime t : {LocalTime{2024, 5, 17, 0, 0, 0, 0}, LocalTime{2024, 5, 17, 9, 5, 7, 0},
                        LocalTime{2024, 5, 17, 23, 59, 59, 999}, LocalTime{2024, 5, 17, -1, 0, 0, 0}}) {
        std::string text = TimeText(t);
        text.resize(8, ' ');
        std::array<char, 8> field = TimeField(t);
        EXPECT_EQ(std::string(field.begin(), field.end()), text);
    }
}

}  // namespace
