#include <string>
#include <utility>
#include <vector>

#include "display/screens.h"
#include "engine/remote_setup.h"
#include "support/setup_fixture.h"
#include "text/format_number.h"

namespace {

class Screen2Body : public SetupFixture {
protected:
    void showRadio(int radio, uint32_t serial) {
        if (program->network.radioCount < radio) program->network.radioCount = radio;
        program->network.radios[radio].serialNumber = serial;
        program->network.radios[radio].name = MakeRadioNameForTest("Tower 7");
        program->network.selectedRadio = radio;
    }

    static RadioName MakeRadioNameForTest(const std::string& text) {
        RadioName name;
        name.fill(' ');
        for (size_t i = 0; i < text.size() && i < name.size(); ++i) name[i] = text[i];
        return name;
    }

    void draw() {
        canvas.clear();
        DrawScreen2Body(program->display, program->network, program->setup);
    }

    // The dark green text drawn from a grid position on, following the calls that continue it.
    std::string drawnFrom(int gridRow, int column) const {
        std::string out;
        int left = 10 * (column - 1);
        bool found = true;
        while (found) {
            found = false;
            for (const auto& call : canvas.texts) {
                if (call.rect.bottom == 16 * gridRow && call.rect.left == left && !call.text.empty() &&
                    call.color == colors::darkGreen) {
                    out += call.text;
                    left += 10 * static_cast<int>(call.text.size());
                    found = true;
                    break;
                }
            }
        }
        return out;
    }

    // What a left-column parameter row shows after its 20-character label.
    std::string valueOf(int parameter) const { return drawnFrom(parameter + 8, 21); }
};

TEST_F(Screen2Body, NewTypeRadioListsThirtyNineRowsInTwoColumns) {
    showRadio(1, 2419999);
    draw();
    EXPECT_EQ(program->setup.setupParamCount, 39);
    EXPECT_EQ(canvas.row(3), "                       Remote Radio Setup Parameters");
    EXPECT_EQ(canvas.text(5, 28, 25), "Serial Number        Name");
    EXPECT_EQ(canvas.text(6, 29, 26), "2419999           Tower 7 ");
    EXPECT_EQ(canvas.colorAt(6, 29), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(6, 47), colors::darkGreen);
    // Radio number on the closing bar's row, rowsPerPage + 8.
    EXPECT_EQ(canvas.text(31, 32, 13), "Radio Number ");
    EXPECT_EQ(canvas.text(31, 50, 2), " 1");
    EXPECT_EQ(canvas.colorAt(31, 51), colors::darkGreen);

    EXPECT_EQ(canvas.text(9, 1, 25), "  1 Baud Rate        XXX ");
    EXPECT_EQ(canvas.text(27, 1, 20), " 19 Retry Odds      ");
    EXPECT_EQ(canvas.text(8, 41, 25), " 20 DTR Connect      XXX ");
    EXPECT_EQ(canvas.text(26, 41, 20), " 38 Xmit Power Cal. ");
    EXPECT_EQ(canvas.text(28, 1, 20), std::string(20, ' '));
    EXPECT_EQ(canvas.text(27, 41, 20), std::string(20, ' '));
    EXPECT_EQ(canvas.colorAt(9, 22), colors::black);
}

TEST_F(Screen2Body, OldTypeRadioListsThirtyFourRowsSeventeenEach) {
    showRadio(2, 5000000);
    draw();
    EXPECT_EQ(program->setup.setupParamCount, 34);
    EXPECT_EQ(canvas.text(24, 1, 20), " 16 Number Repeaters");
    EXPECT_EQ(canvas.text(8, 41, 20), " 17 Master Repeat   ");
    EXPECT_EQ(canvas.text(24, 41, 20), " 33 Radio ID Super  ");
    EXPECT_EQ(canvas.text(25, 1, 20), std::string(20, ' '));
    EXPECT_EQ(canvas.text(25, 41, 20), std::string(20, ' '));
    EXPECT_EQ(canvas.text(31, 50, 2), " 2");
}

TEST_F(Screen2Body, MasterWithoutSerialCountsAsNewType) {
    program->network.selectedRadio = 0;
    program->setup.setupParamCount = 34;
    draw();
    EXPECT_EQ(program->setup.setupParamCount, 39);
    EXPECT_EQ(canvas.text(8, 41, 20), " 20 DTR Connect     ");
}

TEST_F(Screen2Body, FixedParametersAreSilver) {
    showRadio(1, 9500000);
    draw();
    for (int i : {6, 7, 8}) EXPECT_EQ(canvas.colorAt(i + 8, 5), colors::silver) << i;
    EXPECT_EQ(canvas.colorAt(34 - 20 + 8, 45), colors::silver);
    EXPECT_EQ(canvas.colorAt(38 - 20 + 8, 45), colors::silver);
    for (int i : {5, 9, 13}) EXPECT_EQ(canvas.colorAt(i + 8, 5), colors::black) << i;
    EXPECT_EQ(canvas.colorAt(33 - 20 + 8, 45), colors::black);
    // The mark of an unread row is black whatever its label.
    EXPECT_EQ(canvas.colorAt(6 + 8, 22), colors::black);
}

TEST_F(Screen2Body, StaleSelectionShowsARadioOfTheTable) {
    addRadios(2);
    program->network.selectedRadio = 5000;
    draw();
    EXPECT_EQ(canvas.text(6, 29, 7), "5000002");
    program->network.selectedRadio = -3;
    program->network.radios[0].serialNumber = 4100;
    draw();
    EXPECT_EQ(canvas.text(6, 29, 4), "4100");
    EXPECT_EQ(program->network.selectedRadio, -3);  // painting does not change the selection
}

TEST_F(Screen2Body, ReadValuesAreDarkGreenWithTheirMeaning) {
    showRadio(1, 9500000);
    setParam(1, 0, 3);
    draw();
    EXPECT_EQ(valueOf(0), "   3  Slave");
    EXPECT_EQ(canvas.colorAt(8, 21), colors::darkGreen);
    EXPECT_EQ(canvas.colorAt(8, 27), colors::darkGreen);
}

struct DecodeCase {
    const char* what;
    uint32_t serial;
    int row;
    int value;
    std::vector<std::pair<int, int>> others;  // other read rows
    const char* decoded;                       // drawn after the value and two blanks
};

class Screen2Decoding : public Screen2Body, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(Screen2Decoding, RowShowsDecodedText) {
    const DecodeCase& c = GetParam();
    showRadio(1, c.serial);
    for (auto [row, v] : c.others) setParam(1, row, v);
    setParam(1, c.row, c.value);
    draw();
    const int half = (program->setup.setupParamCount - 1) / 2;
    const std::string shown = c.row <= half ? drawnFrom(c.row + 8, 21) : drawnFrom(c.row - 1 - half + 8, 61);
    ASSERT_GE(shown.size(), 6u);
    // The value keeps its 4-character field whatever it is; the meaning follows two blanks.
    EXPECT_EQ(shown.substr(0, 4), FormatNumber(c.value, " * #"));
    EXPECT_EQ(shown.substr(4), std::string("  ") + c.decoded);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRule, Screen2Decoding,
    ::testing::Values(
        DecodeCase{"master", 9500000, 0, 2, {}, "Master"},
        DecodeCase{"repeater", 9500000, 0, 7, {}, "Repeater"},
        DecodeCase{"unknownMode", 9500000, 0, 5, {}, ""},
        DecodeCase{"baud115200", 9500000, 2, 0, {{1, 4}}, "BaudRate=115200"},
        DecodeCase{"baudHighByte", 9500000, 2, 1, {{1, 0}}, "BaudRate=1800"},
        DecodeCase{"baudDisabled", 9500000, 2, 0, {{1, 0}}, "Baud Disabled"},
        DecodeCase{"baudWithoutLowByte", 9500000, 2, 0, {}, ""},
        DecodeCase{"loopBack", 9500000, 3, 0x82, {}, "7,E,1,LoopBack"},
        DecodeCase{"loopBackEvenParity", 9500000, 3, 0x92, {}, "8,E,1,LoopBack"},
        DecodeCase{"twoStopBits", 9500000, 3, 0x11, {}, "8,N,2         "},
        DecodeCase{"oddParity", 9500000, 3, 0x13, {}, "8,O,1         "},
        DecodeCase{"modbusOff", 9500000, 4, 255, {}, "Disabled"},
        DecodeCase{"modbusOn", 9500000, 4, 0, {}, "Enabled "},
        DecodeCase{"powerNewType", 9500000, 13, 200, {{38, 200}}, "Setting is 10  "},
        DecodeCase{"powerNewTypeRounds", 9500000, 13, 55, {{38, 200}}, "Setting is 3  "},
        DecodeCase{"powerWaitsForCalibration", 9500000, 13, 120, {}, "Please Wait"},
        DecodeCase{"powerZeroCalibration", 0, 13, 120, {{38, 0}}, "Please Wait"},
        DecodeCase{"powerOldType", 5000000, 13, 147, {}, "Setting is 5"},
        DecodeCase{"powerOldTypeLowest", 5000000, 13, 39, {}, "Setting is 1"},
        DecodeCase{"rtsCtsOff", 9500000, 14, 0, {}, "Disabled"},
        DecodeCase{"repeaterFreqOn", 9500000, 21, 4, {}, "Enabled "},
        DecodeCase{"lowPowerOff", 9500000, 22, 255, {}, "Disabled"},
        DecodeCase{"masterSyncOn", 9500000, 25, 1, {}, "Enabled "},
        DecodeCase{"networkId", 9500000, 27, 7, {{26, 15}}, "Network ID=7"},
        DecodeCase{"networkIdHigh", 9500000, 27, 2, {{26, 0}}, "Network ID=258"},
        DecodeCase{"networkIdUnknownHigh", 9500000, 27, 7, {}, ""},
        DecodeCase{"subnet", 9500000, 28, 0xF0, {}, "Rcv=0 Xmit=F"},
        DecodeCase{"subnetDisabled", 9500000, 28, 255, {}, "Disabled            "},
        DecodeCase{"radioId", 9500000, 30, 2, {{29, 1}, {33, 255}}, "Rad Id=258"},
        DecodeCase{"radioIdSuper", 9500000, 30, 0, {{29, 0}, {33, 0}}, "Rad Id=65536"},
        DecodeCase{"radioIdIncomplete", 9500000, 30, 2, {{29, 1}}, ""},
        DecodeCase{"highNoiseOff", 9500000, 35, 255, {}, "Disabled"},
        DecodeCase{"turnOffDelayOn", 9500000, 37, 3, {}, "Enabled"},
        DecodeCase{"plainNumber", 9500000, 16, 42, {}, ""}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.what); });

}  // namespace
