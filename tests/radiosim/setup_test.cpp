// A radio's EEPROM: its starting values and the read, write, store exchange.
#include <gtest/gtest.h>

#include "eeprom.h"
#include "network.h"
#include "radiosim_test_support.h"
#include "setup_table.h"

namespace radiosim {
namespace {

using test::ReadDiagnostics;

Request Make(uint8_t type, uint32_t serial, uint8_t hi, uint8_t lo) {
    Request r;
    EXPECT_TRUE(ParseRequest(EncodeRequest(type, serial, hi, lo), r));
    return r;
}

Request Read(uint32_t serial, int row) { return Make(kReadRequest, serial, RowAddress(row) >> 8, RowAddress(row) & 0xFF); }
Request Write(uint32_t serial, uint8_t value) { return Make(kWriteRequest, serial, value, value); }
Request Store(uint32_t serial, int row) { return Make(kStoreRequest, serial, RowAddress(row) >> 8, RowAddress(row) & 0xFF); }

int ValueOf(Network& net, uint32_t serial, int row, int64_t now) {
    const Outcome o = net.answer(Read(serial, row), now);
    if (!o.reply) return -1;
    return (*o.reply)[0] == kMasterRead ? (*o.reply)[6] : ReadDiagnostics(*o.reply).value;
}

TEST(SetupTable, AddressesWrapBelowTheBase) {
    EXPECT_EQ(RowAddress(0), 0x0D80);
    EXPECT_EQ(RowAddress(3), 0x0D95);
    EXPECT_EQ(RowAddress(35), 0x040D);
    EXPECT_EQ(RowAddress(38), 0x040E);
    EXPECT_EQ(RowOfAddress(0x040D), 35);
    EXPECT_EQ(RowOfAddress(0x040D, kOldTypeRows), std::nullopt);
    EXPECT_TRUE(IsNewType(2419999));
    EXPECT_TRUE(IsNewType(9110001));
    EXPECT_FALSE(IsNewType(2410000));
    EXPECT_FALSE(IsNewType(5000000));
}

TEST(SetupMemory, StartingValuesSuitEachRoleAndType) {
    Network net(NetworkConfig{40, -1, 11});
    EXPECT_EQ(ValueOf(net, net.master().serial, kModemMode, 0), 2);
    for (int i = 1; i < net.size(); ++i) {
        const Radio& r = net.at(i);
        const uint32_t s = r.serial;
        EXPECT_EQ(ValueOf(net, s, kModemMode, 0), r.role == Role::Repeater ? 7 : 3);
        EXPECT_EQ(ValueOf(net, s, kBaudRate, 0), 4);
        EXPECT_EQ(ValueOf(net, s, kBaudHigh, 0), 0);
        const int id = ValueOf(net, s, kRadioIdHigh, 0) * 256 + ValueOf(net, s, kRadioIdLow, 0) +
                       ((ValueOf(net, s, kRadioIdSuper, 0) + 1) & 255) * 65536;
        EXPECT_EQ(id, i);
        if (IsNewType(s)) {
            EXPECT_GT(ValueOf(net, s, kXmitPowerCal, 0), 0);
        } else {
            EXPECT_EQ(ValueOf(net, s, kXmitPowerCal, 0), 0xFF) << "old-type radios have no row 38";
            EXPECT_EQ((ValueOf(net, s, kXmitPower, 0) - 12) % 27, 0);
        }
    }
}

TEST(SetupMemory, WriteTakesTheLastReadAddressAndOnlyAStoreCommitsIt) {
    Network net(NetworkConfig{12, -1, 2});
    const Radio& radio = net.at(5);
    const uint32_t s = radio.serial;
    const int before = ValueOf(net, s, 10, 0);  // Max Packet Size, now the last read

    const Outcome w = net.answer(Write(s, 12), 10);
    ASSERT_TRUE(w.reply);
    const auto ack = ReadDiagnostics(*w.reply);
    EXPECT_EQ((*w.reply)[0], kWriteReply);
    EXPECT_EQ(ack.address, RowAddress(10));
    EXPECT_EQ(ack.value, 12);
    EXPECT_EQ(ack.serial, s);
    EXPECT_EQ(ValueOf(net, s, 10, 20), before) << "a write alone changes nothing";

    // A store for another address commits nothing.
    EXPECT_FALSE(net.answer(Store(s, 11), 30).reply);
    EXPECT_EQ(ValueOf(net, s, 10, 40), before);

    EXPECT_FALSE(net.answer(Store(s, 10), 50).reply);
    EXPECT_EQ(ValueOf(net, s, 10, 60), 12);
    // Repeated stores, as the program sends them, are harmless.
    EXPECT_FALSE(net.answer(Store(s, 10), 70).reply);
    EXPECT_EQ(ValueOf(net, s, 10, 80), 12);
}

TEST(SetupMemory, AWriteNeverStoredIsLostWhenTheRadioResets) {
    Network net(NetworkConfig{12, -1, 2});
    const uint32_t s = net.at(3).serial;
    const int before = ValueOf(net, s, 17, 0);
    ASSERT_TRUE(net.answer(Write(s, 5), 1000).reply);
    EXPECT_EQ(net.nextPendingDeadline(30000), 31000);
    EXPECT_TRUE(net.expirePendingWrites(30999, 30000).empty());
    const auto resets = net.expirePendingWrites(31000, 30000);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_NE(resets[0].find(std::to_string(s)), std::string::npos);
    EXPECT_EQ(net.nextPendingDeadline(30000), -1);
    net.answer(Store(s, 17), 31001);
    EXPECT_EQ(ValueOf(net, s, 17, 31002), before);
}

TEST(SetupMemory, MasterAnswersWithEchoFrames) {
    Network net(NetworkConfig{12, -1, 4});
    const uint32_t m = net.master().serial;
    const Outcome read = net.answer(Read(m, 3), 0);
    ASSERT_TRUE(read.reply);
    EXPECT_EQ(*read.reply, EncodeMasterEcho(kMasterRead, m, 0x0D95, ValueOf(net, m, 3, 0)));
    const Outcome write = net.answer(Write(m, 0x93), 10);
    ASSERT_TRUE(write.reply);
    EXPECT_EQ(*write.reply, EncodeMasterEcho(kMasterWrite, m, 0x0D95, 0x93));
    net.answer(Store(m, 3), 20);
    EXPECT_EQ(ValueOf(net, m, 3, 30), 0x93);
}

TEST(SetupMemory, UnknownRadiosAndSilencedRadiosDoNotAnswer) {
    Network net(NetworkConfig{12, -1, 2});
    EXPECT_FALSE(net.answer(Read(1234567, 0), 0).reply);
    net.silenced.insert(net.at(4).serial);
    const Outcome o = net.answer(Read(net.at(4).serial, 0), 0);
    EXPECT_FALSE(o.reply);
    EXPECT_TRUE(o.silenced);
    EXPECT_TRUE(net.answer(Read(net.at(5).serial, 0), 0).reply);
}

}  // namespace
}  // namespace radiosim
