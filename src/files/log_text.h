#pragma once
#include <string>

#include "model/log_state.h"
#include "model/radio_network.h"
#include "platform/clock.h"

// Pieces shared by the snapshot, the CSV export and the settings report.
namespace logtext {

constexpr const char* kLineEnd = "\r\n";

// Where a file error happened: the value the error recorder keeps beside errno.
constexpr int kSnapshotFileError = 9001;  // "Current.log"
constexpr int kCsvFileError = 9002;
constexpr int kReportFileError = 9003;
constexpr int kNetworkFileReadError = 9004;
constexpr int kNetworkFileWriteError = 9005;
constexpr int kDatedLogFileError = 9006;  // the MMDDhhmm.LOG of "Write Log File"

// The kind of file a write failure recorded at `where` concerns: "Current.log",
// "log", "csv", "report" or "network"; null when `where` is no file write.
const char* FileWriteKind(int where);

// The three title lines (banner, network file, date/time/elapsed), each with its line end.
std::string TitleLines(const RadioNetwork& network, const LogState& log, const Clock& clock);
// radioCount held within the table, so a damaged count never reads past it.
int RadiosInTable(const RadioNetwork& network);

}  // namespace logtext
