#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/file_commands.h"
#include "files/log_files.h"
#include "support/log_fixture.h"

namespace {

class SettingsReport : public FileFixture {
protected:
    SettingsReport() { BuildGoldenTable(); }
};

TEST_F(SettingsReport, MatchesTheGoldenFileByteForByte) {
    EXPECT_EQ(SettingsReportText(program->network, program->setup, 2), GoldenBytes("report_2415000.dat"));
}

TEST_F(SettingsReport, IsWrittenUnderTheRadiosSerialNumber) {
    EXPECT_TRUE(
        WriteSettingsReport(program->log.workFolder, program->network, program->setup, program->errors, &host, 2));
    EXPECT_EQ(ReadFileBytes("2415000.dat"), GoldenBytes("report_2415000.dat"));
    EXPECT_TRUE(host.shown.empty());
}

TEST_F(SettingsReport, TheParameterCountBoundsTheParameterLines) {
    program->setup.setupParamCount = 34;
    const std::string text = SettingsReportText(program->network, program->setup, 2);
    EXPECT_NE(text.find("33       Radio ID Super       255 \r\n"), std::string::npos);
    EXPECT_EQ(text.find("Reflected  Power"), std::string::npos);
}

TEST_F(SettingsReport, TheMastersReportWithoutAReplyIsNamedZero) {
    program->network.radios[0].serialNumber = 0;
    EXPECT_TRUE(
        WriteSettingsReport(program->log.workFolder, program->network, program->setup, program->errors, nullptr, 0));
    const std::string text = ReadFileBytes("0.dat");
    const std::string head =
        "                       Remote Radio Setup Parameters \r\n"
        "                  0   0 NAME:MASTER  \r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    // The master's history row is row 0.
    const std::string tail =
        "   Time(sec)  Sig   Noise  Rate     Vtg    Temp   PPM\r\n"
        "   6   90    30    100    11.7  28   0.0  512  1  10  \r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(SettingsReport, ARadioBeyondTheHistoryRowsHasNoHistoryLines) {
    RadioNetwork& n = program->network;
    n.radioCount = 1100;
    n.radios[1050].serialNumber = 5001050;
    const std::string text = SettingsReportText(program->network, program->setup, 1050);
    const std::string header = "   Time(sec)  Sig   Noise  Rate     Vtg    Temp   PPM\r\n";
    ASSERT_GE(text.size(), header.size());
    EXPECT_EQ(text.substr(text.size() - header.size()), header);
}

TEST_F(SettingsReport, ARadioOutsideTheTableIsRefused) {
    EXPECT_EQ(SettingsReportText(program->network, program->setup, 6), "");
    EXPECT_EQ(SettingsReportText(program->network, program->setup, -1), "");
    EXPECT_FALSE(
        WriteSettingsReport(program->log.workFolder, program->network, program->setup, program->errors, &host, 6));
    EXPECT_FALSE(FileExists("3000001.dat"));
}

TEST_F(SettingsReport, AFailedWriteIsRecordedShownAndKeepsTheOldFile) {
    ASSERT_EQ(::mkdir("2415000.dat", 0755), 0);
    EXPECT_FALSE(
        WriteSettingsReport(program->log.workFolder, program->network, program->setup, program->errors, &host, 2));
    EXPECT_EQ(program->errors.lastValue.load(), 9003);
    EXPECT_EQ(program->errors.lastCode.load(), EISDIR);
    EXPECT_EQ(host.messages(),
              std::vector<std::string>{"Error: Could not write 2415000.dat: Is a directory"});

    EXPECT_FALSE(WriteSettingsReport(program->log.workFolder, program->network, program->setup, program->errors,
                                     nullptr,
                                     2));  // without a window: recorded only
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_EQ(host.messages().size(), 1u);
}

}  // namespace
