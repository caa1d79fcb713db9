#pragma once
#include <string>

struct Program;
class Host;

// The logging step of every tick: "Current.log" each new minute, requested snapshots.
void LoggingStep(Program& program);
std::string SnapshotText(const Program& program);
std::string CsvText(const Program& program);
std::string SettingsReportText(const Program& program, int radio);
// Writes "<serial>.dat"; a failure is recorded and, with a host, shown.
bool WriteSettingsReport(Program& program, Host* host, int radio);
