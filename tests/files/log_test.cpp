#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "files/file_safety.h"
#include "files/log_files.h"
#include "support/log_fixture.h"

namespace {

class SnapshotLog : public FileFixture {
protected:
    SnapshotLog() { BuildGoldenTable(); }
};

TEST_F(SnapshotLog, MatchesTheGoldenFileByteForByte) {
    EXPECT_EQ(SnapshotText(program->network, program->log, *program->clock), GoldenBytes("snapshot_log.txt"));
}

TEST_F(SnapshotLog, AnEmptyTableStillHasTitlesMasterAndCount) {
    program->network.radioCount = 0;
    const std::string text = SnapshotText(program->network, program->log, *program->clock);
    const std::string golden = GoldenBytes("snapshot_log.txt");
    const std::string head = golden.substr(0, golden.find("1234567 "));
    EXPECT_EQ(text, head + "\r\nNumber Radios=0");
}

TEST_F(SnapshotLog, RepeaterNumbersAreUpperCaseHexadecimal) {
    program->network.radioCount = 1;
    program->network.radios[1].repeaterNumber = 16;
    EXPECT_NE(SnapshotText(program->network, program->log, *program->clock).find("Pump1    R10 "), std::string::npos);
    program->network.radios[1].repeaterNumber = 255;
    EXPECT_NE(SnapshotText(program->network, program->log, *program->clock).find("Pump1    RFF "), std::string::npos);
}

// The logging step: "Current.log" every new minute, dated snapshots on request.
class LoggingStepTest : public FileFixture {
protected:
    LoggingStepTest() {
        BuildGoldenTable();
        program->log.lastLogMinute = 5;  // "Current.log" of 14:05 already written
    }
    void at(int hour, int minute, int second) { clock.setTimeOfDay(hour, minute, second); }
};

TEST_F(LoggingStepTest, WritesCurrentLogOnlyWhenTheMinuteChanges) {
    LoggingStep(*program);
    EXPECT_FALSE(FileExists("Current.log"));

    at(14, 6, 0);
    LoggingStep(*program);
    EXPECT_EQ(program->log.lastLogMinute, 6);
    EXPECT_EQ(ReadFileBytes("Current.log"), SnapshotText(program->network, program->log, *program->clock));

    WriteFileBytes("Current.log", "old");
    at(14, 6, 59);
    LoggingStep(*program);
    EXPECT_EQ(ReadFileBytes("Current.log"), "old");
}

TEST_F(LoggingStepTest, AfterAResetTheFirstStepWritesUnlessTheMinuteIsZero) {
    program->log.lastLogMinute = 0;
    at(9, 0, 30);
    LoggingStep(*program);
    EXPECT_FALSE(FileExists("Current.log"));
    at(9, 1, 0);
    LoggingStep(*program);
    EXPECT_TRUE(FileExists("Current.log"));
}

TEST_F(LoggingStepTest, ARequestWritesADatedSnapshotInTheSameMinute) {
    program->log.logRequested = true;
    LoggingStep(*program);
    EXPECT_EQ(ReadFileBytes("03071405.LOG"), SnapshotText(program->network, program->log, *program->clock));
    EXPECT_FALSE(program->log.logRequested);
    EXPECT_FALSE(FileExists("Current.log"));
}

TEST_F(LoggingStepTest, ARequestInTheMinuteThatChangesIsMetByCurrentLog) {
    program->log.logRequested = true;
    at(14, 7, 0);
    LoggingStep(*program);
    EXPECT_TRUE(FileExists("Current.log"));
    EXPECT_FALSE(FileExists("03071407.LOG"));
    EXPECT_FALSE(program->log.logRequested);
    LoggingStep(*program);
    EXPECT_FALSE(FileExists("03071407.LOG"));
}

TEST_F(LoggingStepTest, ACsvRequestIsWrittenBesideTheSnapshotAndCleared) {
    program->log.csvRequested = true;
    program->log.logRequested = true;
    at(23, 59, 1);
    LoggingStep(*program);
    EXPECT_TRUE(FileExists("Current.log"));
    EXPECT_EQ(ReadFileBytes("03072359.CSV"), CsvText(program->network, program->log, *program->clock));
    EXPECT_FALSE(program->log.csvRequested);
    EXPECT_FALSE(program->log.logRequested);
}

// A file the user asked for that cannot be written is said once and not tried
// again (it would land later under another minute's name); "Current.log" shows its
// failure on the status bar and tries again at the next minute.
TEST_F(LoggingStepTest, AFailedWriteIsRecordedShownOnceAndNotRetried) {
    // A directory where the file should go cannot be replaced by a file.
    ASSERT_EQ(::mkdir("Current.log", 0755), 0);
    ASSERT_EQ(::mkdir("03071405.LOG", 0755), 0);
    ASSERT_EQ(::mkdir("03071405.CSV", 0755), 0);
    program->log.logRequested = true;
    program->log.csvRequested = true;
    LoggingStep(*program, &host);
    EXPECT_FALSE(program->log.logRequested);
    EXPECT_FALSE(program->log.csvRequested);
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_EQ(program->errors.lastValue.load(), 9002);  // the CSV export
    EXPECT_NE(program->errors.lastCode.load(), 0);
    // Shown after the tick, each naming its file and the reason.
    EXPECT_EQ(host.messages(), (std::vector<std::string>{"Error: Could not write 03071405.LOG: Is a directory",
                                                         "Error: Could not write 03071405.CSV: Is a directory"}));
    LoggingStep(*program, &host);
    at(14, 5, 40);
    LoggingStep(*program, &host);
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_EQ(host.messages().size(), 2u);

    // A minute later "Current.log" still fails: recorded, on the status bar, no box.
    at(14, 6, 0);
    LoggingStep(*program, &host);
    EXPECT_EQ(program->errors.lastValue.load(), 9001);
    EXPECT_EQ(program->errors.count.load(), 3);
    EXPECT_EQ(program->log.lastLogMinute, 6);  // the minute is spent even when the write fails
    EXPECT_EQ(host.statusText, "Could not write Current.log: Is a directory");
    EXPECT_EQ(host.messages().size(), 2u);
    for (int second = 1; second < 60; second += 10) {
        at(14, 6, second);
        LoggingStep(*program, &host);
    }
    EXPECT_EQ(program->errors.count.load(), 3);  // not every tick

    // The next minute after the folder is put right writes it and clears the bar.
    ASSERT_EQ(::rmdir("Current.log"), 0);
    at(14, 7, 0);
    LoggingStep(*program, &host);
    EXPECT_TRUE(FileExists("Current.log"));
    EXPECT_EQ(host.statusText, "");
}

// Replacing files whole.
class AtomicWrite : public FileFixture {};

TEST_F(AtomicWrite, ReplacesTheFileAndLeavesNoTemporaryBehind) {
    WriteFileBytes("a.txt", "a much longer old content");
    std::string error;
    EXPECT_EQ(WriteFileAtomically("a.txt", "new", error), 0);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ReadFileBytes("a.txt"), "new");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(".")) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

TEST_F(AtomicWrite, KeepsThePermissionsOfTheFileItReplaces) {
    WriteFileBytes("a.txt", "old");
    ASSERT_EQ(::chmod("a.txt", 0640), 0);
    std::string error;
    ASSERT_EQ(WriteFileAtomically("a.txt", "new", error), 0);
    struct stat st {};
    ASSERT_EQ(::stat("a.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(AtomicWrite, AFailureReturnsErrnoAndAReason) {
    std::string error;
    EXPECT_EQ(WriteFileAtomically("missing/a.txt", "x", error), ENOENT);
    EXPECT_EQ(error, "No such file or directory");

    ASSERT_EQ(::mkdir("dir", 0755), 0);
    WriteFileBytes("dir/keep", "k");
    EXPECT_EQ(WriteFileAtomically("dir", "x", error), EISDIR);
    EXPECT_EQ(ReadFileBytes("dir/keep"), "k");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) ++entries;
    EXPECT_EQ(entries, 1);  // no temporary left beside the directory
}

}  // namespace
