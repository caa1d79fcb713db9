#include "files/log_files.h"

#include <cstdio>
#include <string>

#include "files/file_safety.h"
#include "files/log_text.h"
#include "model/program.h"
#include "model/protocol_error.h"

namespace {

// MMDDhhmm plus the extension, from the current date and time.
std::string DatedName(const LocalTime& t, const char* extension) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%02d%02d%02d%s", t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100, extension);
    return buffer;
}

// A failed write is recorded and leaves any older file as it was.
bool WriteLogFile(Program& program, const std::string& name, const std::string& text, int where) {
    std::string reason;
    const int code = WriteFileAtomically(name, text, reason);
    if (code != 0) RecordFailure(program.errors, code, where);
    return code == 0;
}

}  // namespace

void LoggingStep(Program& program) {
    LogState& log = program.log;
    const LocalTime now = program.clock->now();
    const int minute = now.minute;

    std::string snapshotName;
    if (minute != log.lastLogMinute) {
        log.lastLogMinute = minute;
        snapshotName = "Current.log";
    } else if (log.logRequested) {
        snapshotName = DatedName(now, ".LOG");
    }
    // Any snapshot written, "Current.log" included, satisfies a pending request;
    // a failed one leaves it set so the next step tries again.
    if (!snapshotName.empty() &&
        WriteLogFile(program, snapshotName, SnapshotText(program.network, program.log, *program.clock),
                     logtext::kSnapshotFileError))
        log.logRequested = false;

    if (log.csvRequested && WriteLogFile(program, DatedName(now, ".CSV"),
                                         CsvText(program.network, program.log, *program.clock), logtext::kCsvFileError))
        log.csvRequested = false;
}
