#include "files/log_files.h"

#include <cstdio>
#include <string>

#include "files/file_safety.h"
#include "files/log_text.h"
#include "model/program.h"
#include "model/protocol_error.h"
#include "platform/host.h"

namespace {

// MMDDhhmm plus the extension, from the current date and time.
std::string DatedName(const LocalTime& t, const char* extension) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%02d%02d%02d%s", t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100, extension);
    return buffer;
}

// A failed write is recorded and leaves any older file as it was; `failure` names
// the file and the reason.
bool WriteLogFile(Program& program, const std::string& name, const std::string& text, int where, std::string& failure) {
    std::string reason;
    const int code = WriteFileAtomically(program.log.workFolder, name, text, reason);
    if (program.log.fileObserver != nullptr) program.log.fileObserver(program.log.fileObserverContext, name, code);
    if (code == 0) return true;
    RecordFailure(program.errors, code, where);
    failure = "Could not write " + WorkPath(program.log.workFolder, name) + ": " + reason;
    return false;
}

// Whether this run has heard a radio of the table (or, with none in it, the master),
// so that its snapshot says more than the one it would replace.
bool RunHasReplies(const RadioNetwork& network) {
    const int count = logtext::RadiosInTable(network);
    for (int i = 1; i <= count; ++i)
        if (network.radios[static_cast<size_t>(i)].replyCount != 0) return true;
    return count == 0 && !network.master.timeReceived.empty();
}

// "Current.log" is rewritten every minute on its own: a failure goes to the status
// bar, and the next minute tries again.
bool WriteCurrentLog(Program& program, TickWindow* host) {
    LogState& log = program.log;
    std::string failure;
    const bool written =
        WriteLogFile(program, "Current.log", SnapshotText(program.network, program.log, *program.clock),
                     logtext::kSnapshotFileError, failure);
    if (host != nullptr && (!written || log.currentLogFailing)) host->setStatusText(written ? "" : failure);
    log.currentLogFailing = !written;
    return written;
}

// The user asked for this file: a failure is shown once and not tried again, so
// the file never turns up later under another minute's name. The box opens after
// the tick, which goes on polling meanwhile.
void WriteRequestedFile(Program& program, TickWindow* host, const std::string& name, const std::string& text,
                        int where) {
    std::string failure;
    if (!WriteLogFile(program, name, text, where, failure) && host != nullptr) host->postMessageBox(failure, "Error");
}

}  // namespace

void LoggingStep(Program& program, TickWindow* host) {
    LogState& log = program.log;
    const LocalTime now = program.clock->now();
    const int minute = now.minute;

    // Decided at the first reply, so a new network read later (which clears the
    // replies) does not bring the earlier snapshot back.
    if (log.keepEarlierSnapshot && RunHasReplies(program.network)) log.keepEarlierSnapshot = false;
    if (minute != log.lastLogMinute) {
        log.lastLogMinute = minute;
        // Any snapshot written, "Current.log" included, satisfies a pending request;
        // when it is not written the request is met by the dated file next step.
        if (!log.keepEarlierSnapshot && WriteCurrentLog(program, host)) log.logRequested = false;
    } else if (log.logRequested) {
        log.logRequested = false;
        WriteRequestedFile(program, host, DatedName(now, ".LOG"),
                           SnapshotText(program.network, program.log, *program.clock), logtext::kDatedLogFileError);
    }

    if (log.csvRequested) {
        log.csvRequested = false;
        WriteRequestedFile(program, host, DatedName(now, ".CSV"), CsvText(program.network, program.log, *program.clock),
                           logtext::kCsvFileError);
    }
}
