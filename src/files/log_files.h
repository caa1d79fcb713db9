#pragma once
#include <string>

#include "model/log_state.h"
#include "model/protocol_error.h"
#include "model/radio_network.h"
#include "model/setup_state.h"
#include "platform/clock.h"

struct Program;
class TickWindow;

// The logging step of every tick: "Current.log" each new minute, requested snapshots.
// Failures are shown through `host` when there is one (see log_files.cpp).
void LoggingStep(Program& program, TickWindow* window = nullptr);
std::string SnapshotText(const RadioNetwork& network, const LogState& log, const Clock& clock);
std::string CsvText(const RadioNetwork& network, const LogState& log, const Clock& clock);
std::string SettingsReportText(const RadioNetwork& network, const SetupState& setup, int radio);
// Writes "<serial>.dat" (a relative name inside `folder`); a failure is recorded
// and `failure` says it in the window's words. False also for a radio not in the table.
bool WriteSettingsReport(const std::string& folder, const RadioNetwork& network, const SetupState& setup,
                         ProtocolError& errors, int radio, std::string& failure);
