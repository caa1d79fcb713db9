#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/file_commands.h"
#include "files/network_file.h"
#include "model/radio_table.h"
#include "support/log_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class NetworkFile : public FileFixture {
protected:
    void addRadio(uint32_t serial, int repeater, const char* name) {
        RadioNetwork& n = program->network;
        const int i = ++n.radioCount;
        n.radios[i].serialNumber = serial;
        n.radios[i].repeaterNumber = static_cast<uint8_t>(repeater);
        n.radios[i].name = MakeRadioName(name);
    }
    std::string name(int i) const { return NameText(program->network.radios[i].name); }
    uint32_t serial(int i) const { return program->network.radios[i].serialNumber; }
    int repeater(int i) const { return program->network.radios[i].repeaterNumber; }
    bool read(const std::string& text, std::string& error) {
        WriteFileBytes("in.RAD", text);
        return ReadNetworkFile(*program, "in.RAD", error);
    }
    bool read(const std::string& text) {
        std::string error;
        const bool ok = read(text, error);
        EXPECT_EQ(error, "");
        return ok;
    }
};

TEST_F(NetworkFile, WritesTwentyCharacterRadioLinesWithCrLf) {
    addRadio(123456, 0, "NewRadio");
    addRadio(9150000, 26, "Hill");
    addRadio(5, 3, "LongerThanEight");
    EXPECT_EQ(NetworkFileText(program->network, program->link),
              "  123456  0 NewRadio\r\n"
              " 9150000 26 Hill    \r\n"
              "       5  3 LongerTh\r\n");
}

TEST_F(NetworkFile, WritesTheIpAndPortLinesFirstAndOnlyWithAnAddress) {
    addRadio(123456, 0, "A");
    program->link.portText = "4001";
    EXPECT_EQ(NetworkFileText(program->network, program->link), "  123456  0 A       \r\n");
    program->link.ipAddressText = "10.0.0.7";
    EXPECT_EQ(NetworkFileText(program->network, program->link),
              "IP ADDRESS 10.0.0.7\r\nPORT NUMBER 4001\r\n  123456  0 A       \r\n");
    program->link.portText.clear();
    EXPECT_EQ(NetworkFileText(program->network, program->link), "IP ADDRESS 10.0.0.7\r\n  123456  0 A       \r\n");
}

TEST_F(NetworkFile, RoundTripsRadiosAddressAndPort) {
    addRadio(123456, 0, "NewRadio");
    addRadio(2415000, 10, "Tower A");
    addRadio(123456, 12, "Dup");  // duplicates are kept in file order
    program->link.ipAddressText = "192.168.1.20";
    program->link.portText = "4001";
    std::string error;
    ASSERT_TRUE(
        WriteNetworkFile(program->log.workFolder, program->network, program->link, program->errors, "net.RAD", error))
        << error;

    auto other = CreateProgram(clock);
    ASSERT_TRUE(ReadNetworkFile(*other, "net.RAD", error)) << error;
    const RadioNetwork& n = other->network;
    ASSERT_EQ(n.radioCount, 3);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(n.radios[i].serialNumber, serial(i));
        EXPECT_EQ(n.radios[i].repeaterNumber, repeater(i));
        EXPECT_EQ(n.radios[i].name, program->network.radios[i].name);
    }
    EXPECT_EQ(n.repeaterCount, 12);
    EXPECT_EQ(other->link.ipAddressText, "192.168.1.20");
    EXPECT_EQ(other->link.portText, " 4001");  // the blank after "PORT NUMBER" stays
}

TEST_F(NetworkFile, ReadingSetsSequentialPollingAndTheListWindow) {
    std::string text;
    for (int i = 1; i <= 45; ++i) text += " 5000" + std::to_string(100 + i) + "  0 R\r\n";
    program->poll.pollMode = 1;
    program->network.firstVisibleRow = 7;
    program->log.lastLogMinute = 33;
    clock.setTimeOfDay(15, 0, 1);
    ASSERT_TRUE(read(text));
    EXPECT_EQ(program->network.radioCount, 45);
    EXPECT_EQ(program->poll.pollMode, 0);
    EXPECT_EQ(program->poll.currentRadio, 1);
    EXPECT_EQ(program->network.firstVisibleRow, 1);
    EXPECT_EQ(program->network.lastVisibleRow, 40);
    EXPECT_EQ(program->log.lastLogMinute, 0);  // the measurements were reset
    EXPECT_EQ(program->network.runStartTime, "15:00:01");

    ASSERT_TRUE(read("  123456  0 A\r\n  123457  0 B\r\n"));
    EXPECT_EQ(program->network.lastVisibleRow, 2);
}

TEST_F(NetworkFile, ParsesFieldsAsWritten) {
    ASSERT_TRUE(read("IP ADDRESS host.example\n"
                     "  123456 12 Pump One\n"       // LF only
                     "99x12345abc Name\r\n"         // digits up to the first non-digit
                     "    7777  1\r\n"              // 11 characters: a blank name
                     "      42  3 ABCDEFGHIJKL\r\n"));  // cut to 8
    EXPECT_EQ(program->link.ipAddressText, "host.example");
    ASSERT_EQ(program->network.radioCount, 4);
    EXPECT_EQ(serial(1), 123456u);
    EXPECT_EQ(repeater(1), 12);
    EXPECT_EQ(name(1), "Pump One");
    EXPECT_EQ(serial(2), 99u);
    EXPECT_EQ(repeater(2), 0);
    EXPECT_EQ(name(2), "Name    ");
    EXPECT_EQ(serial(3), 7777u);
    EXPECT_EQ(repeater(3), 1);
    EXPECT_EQ(name(3), "        ");
    EXPECT_EQ(name(4), "ABCDEFGH");
    EXPECT_EQ(program->network.repeaterCount, 12);
}

TEST_F(NetworkFile, LoadedRadiosStartCleanAndAreFoundFirstSlotFirst) {
    addRadio(7000001, 0, "Before");
    addRadio(7000002, 0, "Before");
    RadioNetwork& n = program->network;
    n.radios[1].timeReceived = {'0', '9', ':', '1', '5', ':', '0', '0'};
    ASSERT_EQ(FindRadio(n, 7000002, 1), 2);
    ASSERT_TRUE(read("  123456  0 A\r\n  654321  0 B\r\n  123456  4 C\r\n"));
    // A radio that has not answered shows no time of the radio that stood there before.
    EXPECT_EQ(std::string(n.radios[1].timeReceived.begin(), n.radios[1].timeReceived.end()), "        ");
    EXPECT_EQ(FindRadio(n, 123456, 1), 1);
    EXPECT_EQ(FindRadio(n, 123456, 2), 3);
    EXPECT_EQ(FindRadio(n, 654321, 1), 2);
    EXPECT_EQ(FindRadio(n, 7000002, 1), -1);
}

TEST_F(NetworkFile, AShortLineEndsTheList) {
    ASSERT_TRUE(read("  123456  0 A\r\n  123457  0 B\r\n\r\n  123458  0 C\r\n"));
    EXPECT_EQ(program->network.radioCount, 2);
    ASSERT_TRUE(read("  123456  0 A\r\n123456789\r\n  123458  0 C\r\n"));  // 9 characters
    EXPECT_EQ(program->network.radioCount, 1);
    ASSERT_TRUE(read("  123456 0\r\n"));  // 10 characters still load
    EXPECT_EQ(program->network.radioCount, 1);
    EXPECT_EQ(serial(1), 123456u);
}

TEST_F(NetworkFile, APortLineWithoutAnAddressIsARadio) {
    program->link.portText = "keep";
    ASSERT_TRUE(read("PORT NUMBER 4001\r\n  123456  0 A\r\n"));
    EXPECT_EQ(program->network.radioCount, 2);
    EXPECT_EQ(serial(1), 0u);
    EXPECT_EQ(program->link.portText, "");  // a file without an address has no port either
}

// CR LF, LF and CR all end lines; a byte-order mark before the first line is skipped.
TEST_F(NetworkFile, ReadsEveryLineEndWithOrWithoutAByteOrderMark) {
    const std::vector<std::string> lines = {"IP ADDRESS 10.0.0.7", "PORT NUMBER 4001", "  123456 12 Pump One",
                                            "    7777  1", "  654321  0 B"};
    for (const char* bom : {"", "\xEF\xBB\xBF"}) {
        for (const char* end : {"\r\n", "\n", "\r"}) {
            for (bool lastEnded : {true, false}) {
                std::string text = bom;
                for (size_t i = 0; i < lines.size(); ++i)
                    text += lines[i] + (i + 1 < lines.size() || lastEnded ? end : "");
                const std::string label = testing::PrintToString(text);
                ASSERT_TRUE(read(text)) << label;
                EXPECT_EQ(program->link.ipAddressText, "10.0.0.7") << label;
                EXPECT_EQ(program->link.portText, " 4001") << label;
                ASSERT_EQ(program->network.radioCount, 3) << label;
                EXPECT_EQ(serial(1), 123456u) << label;
                EXPECT_EQ(repeater(1), 12) << label;
                EXPECT_EQ(name(1), "Pump One") << label;
                EXPECT_EQ(serial(2), 7777u) << label;
                EXPECT_EQ(name(2), "        ") << label;
                EXPECT_EQ(serial(3), 654321u) << label;
                EXPECT_EQ(name(3), "B       ") << label;
            }
        }
    }
    ASSERT_TRUE(read("\xEF\xBB\xBF  123456  0 A\r\n"));  // and before a radio line
    EXPECT_EQ(serial(1), 123456u);
}

// Opening a site without an address and saving it must not hand it the last site's.
TEST_F(NetworkFile, AFileWithoutAnAddressLeavesNoneToSave) {
    ASSERT_TRUE(read("IP ADDRESS 10.0.0.7\r\nPORT NUMBER 4001\r\n  123456  0 A\r\n"));
    ASSERT_TRUE(read("  654321  0 B\r\n"));
    EXPECT_EQ(NetworkFileText(program->network, program->link), "  654321  0 B       \r\n");
    ASSERT_TRUE(read("IP ADDRESS 10.0.0.8\r\n  654321  0 B\r\n"));  // an address without a port
    program->link.portText = "4001";
    ASSERT_TRUE(read("IP ADDRESS 10.0.0.8\r\n  654321  0 B\r\n"));
    EXPECT_EQ(NetworkFileText(program->network, program->link), "IP ADDRESS 10.0.0.8\r\n  654321  0 B       \r\n");
}

// The list ends at its first short line; what follows is never read into memory.
TEST_F(NetworkFile, BlankLinesAfterTheListCostNoMemory) {
    WriteFileBytes("in.RAD", "  123456  0 A\r\n" + std::string(50u << 20, '\n'));
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    std::string error;
    ASSERT_TRUE(ReadNetworkFile(*program, "in.RAD", error)) << error;
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(program->network.radioCount, 1);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "kB more at the peak";
}

TEST_F(NetworkFile, AFileOverTheSizeLimitIsRefusedUnread) {
    addRadio(123456, 0, "Keep");
    WriteFileBytes("big.RAD", "");
    ASSERT_EQ(::truncate("big.RAD", (64 << 20) + 1), 0);  // sparse: nothing to read but zeros
    std::string error;
    EXPECT_FALSE(ReadNetworkFile(*program, "big.RAD", error));
    EXPECT_EQ(error, "Cannot read big.RAD: the file is too large for a radio list");
    EXPECT_EQ(program->network.radioCount, 1);
    ASSERT_EQ(::truncate("big.RAD", 64 << 20), 0);  // at the limit: read (zeros make one serial-0 line)
    EXPECT_TRUE(ReadNetworkFile(*program, "big.RAD", error)) << error;
}

TEST_F(NetworkFile, AFileEndingAfterTheAddressLinesLoadsNoRadios) {
    addRadio(1, 0, "old");
    ASSERT_TRUE(read("IP ADDRESS 10.0.0.1\r\nPORT NUMBER 23\r\n"));
    EXPECT_EQ(program->network.radioCount, 0);
    EXPECT_EQ(program->link.ipAddressText, "10.0.0.1");
    EXPECT_EQ(program->link.portText, " 23");
}

TEST_F(NetworkFile, AFileThatCannotBeReadChangesNothing) {
    addRadio(123456, 5, "Keep");
    program->network.repeaterCount = 5;
    program->network.networkFileName = "OLD.RAD";
    program->link.ipAddressText = "1.2.3.4";
    std::string error;
    EXPECT_FALSE(ReadNetworkFile(*program, "missing.RAD", error));
    EXPECT_EQ(error, "Cannot read missing.RAD: No such file or directory");
    ASSERT_EQ(::mkdir("folder.RAD", 0755), 0);
    EXPECT_FALSE(ReadNetworkFile(*program, "folder.RAD", error));
    EXPECT_EQ(error, "Cannot read folder.RAD: Is a directory");
    EXPECT_EQ(program->network.radioCount, 1);
    EXPECT_EQ(serial(1), 123456u);
    EXPECT_EQ(program->network.networkFileName, "OLD.RAD");
    EXPECT_EQ(program->link.ipAddressText, "1.2.3.4");
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_EQ(program->errors.lastValue.load(), 9004);
}

TEST_F(NetworkFile, MoreRadiosThanTheTableHoldsLoadsTheFirst2047AndSaysSo) {
    std::string text;
    for (int i = 1; i <= 2050; ++i) text += "  " + std::to_string(100000 + i) + "  0 R\r\n";
    std::string error;
    ASSERT_TRUE(read(text, error));
    EXPECT_EQ(program->network.radioCount, 2047);
    EXPECT_EQ(serial(2047), 102047u);
    EXPECT_EQ(error, "in.RAD holds more than 2047 radios; the first 2047 were loaded");
}

TEST_F(NetworkFile, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    addRadio(123456, 0, "A");
    std::string error;
    EXPECT_FALSE(WriteNetworkFile(program->log.workFolder, program->network, program->link, program->errors,
                                  "nowhere/net.RAD", error));
    EXPECT_EQ(error, "Cannot write nowhere/net.RAD: No such file or directory");
    WriteFileBytes("blocker", "x");  // a file standing where a directory should be
    EXPECT_FALSE(WriteNetworkFile(program->log.workFolder, program->network, program->link, program->errors,
                                  "blocker/net.RAD", error));
    EXPECT_EQ(error, "Cannot write blocker/net.RAD: Not a directory");
    EXPECT_EQ(program->errors.lastValue.load(), 9005);
    EXPECT_EQ(ReadFileBytes("blocker"), "x");
}

// The File menu's Open and Save.
TEST_F(NetworkFile, OpenAsksForARadioFileAndTakesItsName) {
    WriteFileBytes("site.RAD", "  123456  0 A\r\n");
    host.answer(true, "site.RAD");
    CommandOpenNetworkFile(*program, host);
    ASSERT_EQ(host.fileRequests.size(), 1u);
    const FileDialogRequest& r = host.fileRequests[0];
    EXPECT_EQ(r.title, "Open Radio File");
    EXPECT_EQ(r.filter, "Radio Files|*.RAD|All Files|*.*");
    EXPECT_EQ(r.defaultExtension, "RAD");
    EXPECT_EQ(r.initialName, "NONAME.RAD");
    EXPECT_TRUE(r.mustExist);
    EXPECT_EQ(program->network.networkFileName, "site.RAD");
    EXPECT_EQ(program->network.radioCount, 1);
    EXPECT_EQ(host.erasingInvalidations, 1);
    EXPECT_EQ(host.updates, 1);
}

TEST_F(NetworkFile, OpenCancelledOrFailingChangesNothing) {
    addRadio(1, 0, "old");
    CommandOpenNetworkFile(*program, host);  // nothing queued: Cancel
    host.answer(true, "gone.RAD");
    CommandOpenNetworkFile(*program, host);
    EXPECT_EQ(host.messages(), Strings{"Error: Cannot read gone.RAD: No such file or directory"});
    EXPECT_EQ(program->network.networkFileName, "NONAME.RAD");
    EXPECT_EQ(program->network.radioCount, 1);
    EXPECT_EQ(host.invalidations, 0);
}

TEST_F(NetworkFile, SaveWritesUnderTheChosenName) {
    addRadio(123456, 0, "A");
    program->network.networkFileName = "SITE7.RAD";
    host.answer(true, "copy.RAD");
    CommandSaveNetworkFile(*program, host);
    ASSERT_EQ(host.fileRequests.size(), 1u);
    EXPECT_EQ(host.fileRequests[0].title, "Save  File");
    EXPECT_EQ(host.fileRequests[0].initialName, "SITE7.RAD");
    EXPECT_FALSE(host.fileRequests[0].mustExist);
    EXPECT_FALSE(host.fileRequests[0].askBeforeReplacing);  // Save replaces without asking
    EXPECT_EQ(ReadFileBytes("copy.RAD"), "  123456  0 A       \r\n");
    EXPECT_EQ(program->network.networkFileName, "copy.RAD");
    EXPECT_EQ(host.updates, 1);

    host.answer(true, "nowhere/x.RAD");
    CommandSaveNetworkFile(*program, host);
    EXPECT_EQ(host.messages(), Strings{"Error: Cannot write nowhere/x.RAD: No such file or directory"});
    EXPECT_EQ(program->network.networkFileName, "copy.RAD");
}

TEST_F(NetworkFile, OpenThenSaveKeepsThePortLine) {
    for (const char* port : {"PORT NUMBER 4000", "PORT NUMBER  4000"}) {
        const std::string text = std::string("IP ADDRESS 10.0.0.7\r\n") + port + "\r\n  123456  0 A       \r\n";
        ASSERT_TRUE(read(text));
        EXPECT_EQ(NetworkFileText(program->network, program->link), text);
    }
}

TEST_F(NetworkFile, RepeaterNumbersAbove255AreRefusedByLine) {
    std::string error;
    ASSERT_TRUE(read("  100001  7 A\r\n  100002300 B\r\n  100003255 C\r\n  100004999 D\r\n", error));
    ASSERT_EQ(program->network.radioCount, 2);
    EXPECT_EQ(serial(2), 100003u);
    EXPECT_EQ(repeater(2), 255);
    EXPECT_EQ(error,
              "in.RAD line 2: repeater number 300 is above 255; that radio was not loaded\n"
              "in.RAD line 4: repeater number 999 is above 255; that radio was not loaded");
}

TEST_F(NetworkFile, ASmallerFileKeepsTheSelectedRadioInTheList) {
    for (int i = 0; i < 5; ++i) addRadio(200000 + i, 0, "R");
    program->network.selectedRadio = 5;
    ASSERT_TRUE(read("  123456  0 A\r\n  123457  0 B\r\n"));
    EXPECT_EQ(program->network.selectedRadio, 2);
}

}  // namespace
