#include <gtest/gtest.h>

#include "model/setup_table.h"

namespace {

class SetupTableTest : public ::testing::Test {
protected:
    void SetUp() override { FillSetupParameterTable(setup); }
    SetupState setup;
};

TEST_F(SetupTableTest, NamesAreSixteenCharactersExactly) {
    for (int i = 0; i < 39; ++i) EXPECT_EQ(setup.table.rows[i].name.size(), 16u) << i;
    EXPECT_EQ(setup.table.rows[0].name, "Modem Mode      ");
    EXPECT_EQ(setup.table.rows[16].name, "Number Repeaters");
    EXPECT_EQ(setup.table.rows[30].name, "Radio ID low    ");
    EXPECT_EQ(setup.table.rows[34].name, "Reflected  Power");
    EXPECT_EQ(setup.table.rows[38].name, "Xmit Power Cal. ");
    EXPECT_TRUE(setup.table.rows[39].name.empty());
    EXPECT_TRUE(setup.table.rows[40].name.empty());
    EXPECT_EQ(setup.table.rows[40].offset, 0);
}

TEST_F(SetupTableTest, AddressesWrapToSixteenBits) {
    EXPECT_EQ(AddressOfRow(setup, 0), 0x0D80);
    EXPECT_EQ(AddressOfRow(setup, 4), 0x0F33);
    EXPECT_EQ(AddressOfRow(setup, 14), 0x0E12);
    EXPECT_EQ(AddressOfRow(setup, 34), 0x11FC);
    EXPECT_EQ(AddressOfRow(setup, 35), 0x040D);
    EXPECT_EQ(AddressOfRow(setup, 36), 0x040F);
    EXPECT_EQ(AddressOfRow(setup, 37), 0x0420);
    EXPECT_EQ(AddressOfRow(setup, 38), 0x040E);
}

TEST_F(SetupTableTest, RowOfAddressIsBoundedByTheParameterCount) {
    setup.setupParamCount = 39;
    for (int i = 0; i < 39; ++i) EXPECT_EQ(RowOfAddress(setup, AddressOfRow(setup, i)), i);
    EXPECT_EQ(RowOfAddress(setup, 0x040D), 35);
    EXPECT_EQ(RowOfAddress(setup, 0x0D8A), -1);  // offset 10 is no parameter
    setup.setupParamCount = 34;
    EXPECT_EQ(RowOfAddress(setup, 0x040D), -1);
    EXPECT_EQ(RowOfAddress(setup, 0x11FC), -1);
    EXPECT_EQ(RowOfAddress(setup, 0x0F42), 33);
    EXPECT_EQ(RowOfAddress(setup, 0x0D80), 0);
}

TEST(SetupParamCount, BySerialNumber) {
    EXPECT_EQ(SetupParamCountForSerial(0), 39);
    EXPECT_EQ(SetupParamCountForSerial(2419999), 39);
    EXPECT_EQ(SetupParamCountForSerial(2410001), 39);
    EXPECT_EQ(SetupParamCountForSerial(2410000), 34);
    EXPECT_EQ(SetupParamCountForSerial(2420000), 34);
    EXPECT_EQ(SetupParamCountForSerial(5000000), 34);
    EXPECT_EQ(SetupParamCountForSerial(9110000), 34);
    EXPECT_EQ(SetupParamCountForSerial(9110001), 39);
}

TEST(SetupRows, ChangeableRows) {
    for (int row : {6, 7, 8, 34, 38, -1, 39, 40}) EXPECT_FALSE(RowIsChangeable(row)) << row;
    for (int row : {0, 5, 9, 28, 33, 35, 36, 37}) EXPECT_TRUE(RowIsChangeable(row)) << row;
}

}  // namespace
