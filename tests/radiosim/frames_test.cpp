// Reply encoding, read back by the receiver's rules for each frame type.
#include <gtest/gtest.h>

#include "frames.h"
#include "network.h"
#include "radiosim_test_support.h"
#include "setup_table.h"

namespace radiosim {
namespace {

using test::FromHex;
using test::ReadDiagnostics;
using test::Serial3;
using test::Word;

TEST(FrameEncoding, RequestsMatchTheWorkedExample) {
    EXPECT_EQ(EncodeNumberPoll(1), FromHex("F8 FF FF 01 00 0D 80 74"));
    EXPECT_EQ(EncodeRequest(kReadRequest, 0x123456, 0x0D, 0x80), FromHex("F8 12 34 56 00 0D 80 05"));
}

// Expected bytes written out by hand from the frame layouts.
TEST(FrameEncoding, StatusReportsAndEchoesMatchTheirLayouts) {
    MasterStatusFrame s{5000123, 7, 0x0A0B0C, true, 5, 128, 99, 54};
    // The data count's high byte travels after the busy/noise byte.
    EXPECT_EQ(EncodeMasterStatus(s), FromHex("F0 4C 4B BB 07 0B 0C 95 0A 00 80 63 36 06"));
    s.busy = false;
    EXPECT_EQ(EncodeMasterStatus(s), FromHex("F0 4C 4B BB 07 0B 0C 15 0A 00 80 63 36 86"));

    LinkReportFrame r{false, 0x4ABCDE, 0x3C, 17, 200, 4, 5500};
    EXPECT_EQ(EncodeLinkReport(r), FromHex("F1 4A BC DE 00 3C 11 C8 14 15 7C 41"));
    // 0xF4 leaves the top four bits to be taken from the master's serial.
    r.twentyBit = true;
    EXPECT_EQ(EncodeLinkReport(r), FromHex("F4 0A BC DE 00 3C 11 C8 14 15 7C 04"));

    TrafficReportFrame t{2415000, 0x1234, 3, 40, 6, 5432};
    EXPECT_EQ(EncodeTrafficReport(t), FromHex("F5 24 D9 98 12 34 03 28 16 15 38 A6"));

    EXPECT_EQ(EncodeMasterEcho(kMasterWrite, 5000123, 0x040D, 42), [] {
        Bytes e = FromHex("F3 4C 4B BB 04 0D 2A 00");
        e[7] = XorOf(std::span(e).first(7));
        return e;
    }());
}

TEST(FrameEncoding, DiagnosticsReplyPlacesHopRecordsBeforeTheDirectDistance) {
    DiagnosticsFrame d{kWriteReply, 0x0D95, 40, 9120001, 250, 38, 3, 0xB5, 120, 97, 201, 0x93, 54,
                       {{2500000, 30, 5400}, {7000000, 25, 5450}}, 5600};
    const Bytes f = EncodeDiagnostics(d);
    EXPECT_EQ(f, FromHex("F9 0D 95 38 8B 29 01 02 FA 36 13 B5 00 78 61 C9 93 36"
                         " 26 25 A0 2E 15 18  6A CF C0 29 15 4A  15 E0 81"));
    const auto r = ReadDiagnostics(f);
    EXPECT_EQ(r.hopSerials, (std::vector<uint32_t>{2500000, 7000000}));
    EXPECT_EQ(r.distanceWord, 5400) << "a relayed radio's distance is the first hop's";

    d.hops.clear();
    EXPECT_EQ(EncodeDiagnostics(d), FromHex("F9 0D 95 38 8B 29 01 00 FA 36 13 B5 00 78 61 C9 93 36 15 E0 10"));
}

// Every radio of a large network answers a read with a frame the receiver
// can take apart, with values in their plausible ranges.
TEST(NetworkReplies, EveryRadioOfALargeNetworkAnswersAPlausibleRead) {
    Network net(NetworkConfig{2047, -1, 7});
    ASSERT_EQ(net.size(), 2048);
    int relayed = 0, twoHops = 0, newType = 0, window = 0, shareMasterTop = 0;
    std::set<uint32_t> serials;
    for (int i = 1; i < net.size(); ++i) {
        const Radio& radio = net.at(i);
        ASSERT_TRUE(serials.insert(radio.serial).second) << "duplicate serial " << radio.serial;
        Request req;
        ASSERT_TRUE(ParseRequest(EncodeRequest(kReadRequest, radio.serial, 0x0D, 0x80), req));
        Outcome o = net.answer(req, 1000 + i);
        ASSERT_TRUE(o.reply);
        const Bytes& f = *o.reply;
        ASSERT_EQ(XorOf(f), 0);
        const auto d = ReadDiagnostics(f);
        ASSERT_EQ(f.size(), DiagnosticsLength(d.hops));
        EXPECT_EQ(d.serial, radio.serial);
        EXPECT_GE(radio.serial, 2000000u);
        EXPECT_LE(radio.serial, 9150000u);
        EXPECT_NE(radio.serial, 2419999u);  // the one serial whose two type tests disagree
        EXPECT_LE(d.hops, 2);
        for (uint32_t hop : d.hopSerials) {
            EXPECT_GE(hop, 2000000u);
            EXPECT_LE(hop, 9150000u);
            EXPECT_EQ(net.findBySerial(hop)->role, Role::Repeater);
        }
        const long distance = test::DistanceRaw(d.distanceWord);
        EXPECT_GT(distance, 4000);  // beyond the display offset of 4 km
        EXPECT_LT(distance, 15000);
        EXPECT_GE(d.temperatureRaw, 90);
        EXPECT_LE(d.temperatureRaw, 150);
        const double fullScale = IsNewType(radio.serial) ? 32.5 : 15.0;
        EXPECT_NEAR(d.voltageRaw / 256.0 * fullScale, 13.0, 1.2);
        EXPECT_EQ(d.value, radio.role == Role::Repeater ? 7 : 3);
        relayed += d.hops > 0;
        twoHops += d.hops == 2;
        newType += radio.serial > 9110000;
        window += radio.serial > 2410000 && radio.serial < 2420000;
        shareMasterTop += (radio.serial & 0xF00000) == (net.master().serial & 0xF00000);
    }
    EXPECT_GT(relayed, 100);
    EXPECT_GT(twoHops, 10);
    EXPECT_GT(newType, 100);
    EXPECT_GT(window, 100);
    EXPECT_GT(shareMasterTop, 100);
}

TEST(NetworkReplies, DefaultNetworkHasThreeRepeatersAndEveryKindOfPath) {
    Network net(NetworkConfig{});
    ASSERT_EQ(net.size(), 13);
    EXPECT_EQ(net.master().role, Role::Master);
    int repeaters = 0;
    std::set<size_t> pathLengths;
    for (int i = 1; i < net.size(); ++i) {
        repeaters += net.at(i).role == Role::Repeater;
        if (net.at(i).role == Role::Slave) pathLengths.insert(net.at(i).path.size());
    }
    EXPECT_EQ(repeaters, 3);
    EXPECT_EQ(pathLengths, (std::set<size_t>{0, 1, 2}));
    // The same seed gives the same network.
    Network again(NetworkConfig{});
    for (int i = 0; i < net.size(); ++i) EXPECT_EQ(net.at(i).serial, again.at(i).serial);
}

TEST(NetworkReplies, FrequencyCounterStepsGiveTheRadiosOffsetToTheProgramsFormula) {
    Network net(NetworkConfig{12, -1, 3});
    for (int i = 1; i < net.size(); ++i) {
        Radio& r = net.at(i);
        const auto a = ReadDiagnostics(net.diagnosticsOf(r, kReadReply, 0x0D80, 0, 10000));
        const auto b = ReadDiagnostics(net.diagnosticsOf(r, kReadReply, 0x0D80, 0, 12000));
        int diff = b.frequencyCounter - a.frequencyCounter;
        if (diff > 127) diff -= 256;
        if (diff < -128) diff += 256;
        // The program's estimate, in tenths of a ppm, over the 2 s between replies.
        const double tenthsPpm = 69.444 * diff / 25.6 / 2.0;
        const double ppm = r.freqRate * 69.444 / 256.0;
        EXPECT_NEAR(tenthsPpm / 10.0, ppm, 0.15) << "radio " << r.serial;
        EXPECT_LE(std::abs(ppm), 7.6);
    }
}

TEST(NetworkReplies, PollByNumberCountsFromOneAndWraps) {
    Network net(NetworkConfig{12, -1, 1});
    EXPECT_EQ(net.byNumber(1).index, 1);
    EXPECT_EQ(net.byNumber(12).index, 12);
    EXPECT_EQ(net.byNumber(13).index, 1);
    EXPECT_EQ(net.byNumber(0).index, 12);
    Request req;
    ASSERT_TRUE(ParseRequest(EncodeNumberPoll(14), req));
    const Outcome o = net.answer(req, 100);
    ASSERT_TRUE(o.reply);
    EXPECT_EQ(ReadDiagnostics(*o.reply).serial, net.at(2).serial);
    EXPECT_EQ(ReadDiagnostics(*o.reply).address, 0x0D80);
}

TEST(NetworkReplies, UnsolicitedFramesAreWellFormed) {
    Network net(NetworkConfig{12, -1, 5});
    std::set<uint8_t> sequences;
    bool twentyBit = false;
    for (int t = 1; t <= 60; ++t) {
        const auto status = net.masterStatus(t * 500, t % 2 == 0);
        ASSERT_EQ(status.frame.size(), 14u);
        EXPECT_EQ(XorOf(status.frame), 0);
        EXPECT_EQ(Serial3(status.frame, 1), net.master().serial);
        EXPECT_EQ((status.frame[7] & 0x80) != 0, t % 2 == 0);

        auto link = net.linkReport(t * 500);
        ASSERT_TRUE(link);
        EXPECT_EQ(XorOf(link->frame), 0);
        uint32_t serial = Serial3(link->frame, 1);
        if (link->frame[0] == 0xF4) {
            twentyBit = true;
            serial += net.master().serial & 0xF00000;
        }
        EXPECT_NE(net.findBySerial(serial), nullptr);
        sequences.insert(link->frame[5]);

        auto traffic = net.trafficReport(t * 500);
        ASSERT_TRUE(traffic);
        EXPECT_EQ(XorOf(traffic->frame), 0);
        EXPECT_NE(net.findBySerial(Serial3(traffic->frame, 1)), nullptr);
    }
    EXPECT_TRUE(twentyBit);
    EXPECT_GT(sequences.size(), 10u);  // the nibbles advance
}

}  // namespace
}  // namespace radiosim
