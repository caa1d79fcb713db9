#pragma once
#include <ctime>
#include <string>

// How much a log line matters; the numbers are the journal's priorities.
enum class LogLevel { error = 3, warning = 4, info = 6 };

// "error", "warning" or "info".
const char* LogLevelWord(LogLevel level);

// True when `fd` is the stream the journal gave this process, as the
// JOURNAL_STREAM value ("DEVICE:INODE") names it; false for a null value.
bool IsJournalStream(int fd, const char* journalStream);

// One event as written: "YYYY-MM-DD HH:MM:SS LEVEL: TEXT" with the local time, or
// for the journal (which stamps lines itself) "<N>LEVEL: TEXT". A text of several
// lines gives several, each with its own level. Ends with a newline.
std::string LogLine(LogLevel level, const std::string& text, bool journal, std::time_t now);

// The level of a line from the alarm tracker: raised alarms warn, the rest inform.
LogLevel LevelOfChange(const std::string& line);

// Lets a periodic summary through only when it differs from the last one let
// through, at most once per `everySeconds`. Starts as if `quiet` had been written,
// so a summary of nothing is never written.
class ChangedSummary {
public:
    ChangedSummary(std::string quiet, double everySeconds) : last(std::move(quiet)), every(everySeconds) {}
    bool take(const std::string& summary, double nowSeconds);

private:
    std::string last;
    double every;
    double next = 0;
};
