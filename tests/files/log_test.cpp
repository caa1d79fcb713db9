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

TEST_F(LoggingStepTest, AFailedWriteIsRecordedAndTheRequestsStaySet) {
    // A directory where the file should go cannot be replaced by a file.
    ASSERT_EQ(::mkdir("Current.log", 0755), 0);
    ASSERT_EQ(::mkdir("03071405.LOG", 0755), 0);
    ASSERT_EQ(::mkdir("03071405.CSV", 0755), 0);
    program->log.logRequested = true;
    program->log.csvRequested = true;
    LoggingStep(*program);
    EXPECT_TRUE(program->log.logRequested);
    EXPECT_TRUE(program->log.csvRequested);
    EXPECT_EQ(program->errors.count.load(), 2);
    EXPECT_EQ(program->errors.lastValue.load(), 9002);  // the CSV export
    EXPECT_NE(program->errors.lastCode.load(), 0);

    // A minute later "Current.log" still fails, the CSV gets a new name and succeeds.
    at(14, 6, 0);
    LoggingStep(*program);
    EXPECT_EQ(program->errors.lastValue.load(), 9001);
    EXPECT_EQ(program->errors.count.load(), 3);
    EXPECT_EQ(program->log.lastLogMinute, 6);  // the minute is spent even when the write fails
    EXPECT_TRUE(program->log.logRequested);
    EXPECT_FALSE(program->log.csvRequested);
    EXPECT_TRUE(FileExists("03071406.CSV"));
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
