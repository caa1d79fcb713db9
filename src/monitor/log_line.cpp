#include "monitor/log_line.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>

const char* LogLevelWord(LogLevel level) {
    switch (level) {
        case LogLevel::error: return "error";
        case LogLevel::warning: return "warning";
        default: return "info";
    }
}

bool IsJournalStream(int fd, const char* journalStream) {
    if (journalStream == nullptr) return false;
    uintmax_t device = 0, inode = 0;
    char extra = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &extra) != 2) return false;
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

std::string LogLine(LogLevel level, const std::string& text, bool journal, std::time_t now) {
    std::string lead;
    if (journal) {
        lead = "<" + std::to_string(static_cast<int>(level)) + ">";
    } else {
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
        lead = stamp;
    }
    lead += LogLevelWord(level);
    lead += ": ";
    std::string out;
    size_t from = 0;
    do {
        const size_t end = std::min(text.find('\n', from), text.size());
        out += lead + text.substr(from, end - from) + "\n";
        from = end + 1;
    } while (from < text.size());
    return out;
}

LogLevel LevelOfChange(const std::string& line) {
    const bool raisedOne = line.find(" alarm raised: ") != std::string::npos;
    // "alarms: N raised, M cleared; ..." warns when any was raised.
    const bool raisedSome = line.rfind("alarms: ", 0) == 0 && line.rfind("alarms: 0 raised", 0) != 0;
    return raisedOne || raisedSome ? LogLevel::warning : LogLevel::info;
}

bool ChangedSummary::take(const std::string& summary, double nowSeconds) {
    if (summary == last || nowSeconds < next) return false;
    last = summary;
    next = nowSeconds + every;
    return true;
}
