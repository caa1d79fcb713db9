#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "monitor/log_line.h"
#include "support/log_fixture.h"

namespace {

TEST(LogLine, EveryLineCarriesItsLevelAndTheJournalItsPriority) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t at = 1700000000;  // 2023-11-14 22:13:20 UTC
    struct Case {
        LogLevel level;
        std::string text;
        bool journal;
        std::string line;
    };
    const Case cases[] = {
        {LogLevel::info, "link tcp up", false, "2023-11-14 22:13:20 info: link tcp up\n"},
        {LogLevel::warning, "a sweep takes long", false, "2023-11-14 22:13:20 warning: a sweep takes long\n"},
        {LogLevel::error, "link tcp down", true, "<3>error: link tcp down\n"},
        {LogLevel::warning, "x", true, "<4>warning: x\n"},
        {LogLevel::info, "stopped", true, "<6>info: stopped\n"},
        {LogLevel::warning, "Error\nline two", true, "<4>warning: Error\n<4>warning: line two\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(LogLine(c.level, c.text, c.journal, at), c.line);
}

TEST(LogLine, TheJournalIsRecognisedByDeviceAndInode) {
    TemporaryDirectory dir;
    WriteFileBytes("stream", "");
    const int fd = open("stream", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat info {};
    ASSERT_EQ(fstat(fd, &info), 0);
    const std::string same = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const std::string other = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + 1);
    EXPECT_TRUE(IsJournalStream(fd, same.c_str()));
    EXPECT_FALSE(IsJournalStream(fd, other.c_str()));
    EXPECT_FALSE(IsJournalStream(fd, (same + "x").c_str()));
    EXPECT_FALSE(IsJournalStream(fd, ""));
    EXPECT_FALSE(IsJournalStream(fd, nullptr));
    close(fd);
}

TEST(LogLine, AlarmsRaisedWarnAndTheRestInform) {
    EXPECT_EQ(LevelOfChange("radio 100001 (1 A) alarm raised: old reply"), LogLevel::warning);
    EXPECT_EQ(LevelOfChange("alarms: 3 raised, 0 cleared; 3 of 12 radios in alarm"), LogLevel::warning);
    EXPECT_EQ(LevelOfChange("alarms: 0 raised, 25 cleared; 0 of 30 radios in alarm"), LogLevel::info);
    EXPECT_EQ(LevelOfChange("radio 100001 (1 A) alarm cleared: old reply"), LogLevel::info);
    EXPECT_EQ(LevelOfChange("radio 100001 (1 A) added"), LogLevel::info);
}

TEST(LogLine, TheErrorSummaryIsWrittenOnlyWhenItChanged) {
    ChangedSummary summary("errors: none", 60);
    struct Step {
        const char* text;
        double at;
        bool written;
    };
    const Step steps[] = {
        {"errors: none", 0, false},       {"errors: none", 600, false},     {"errors: 325=1", 601, true},
        {"errors: 325=2", 630, false},    {"errors: 325=2", 661, true},     {"errors: 325=2", 900, false},
        {"errors: 325=2 330=1", 901, true},
    };
    for (const Step& s : steps) EXPECT_EQ(summary.take(s.text, s.at), s.written) << s.text << " at " << s.at;
}

}  // namespace
