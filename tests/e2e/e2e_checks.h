#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "e2e/e2e_fixture.h"

// What a technician checks on the screens and in the files, as test assertions.

// Every radio 1..radioCount has answered at least once.
bool AllAnswered(const Program& program);
// No radio in the table that the simulated network does not hold.
bool OnlyTheseRadios(const Program& program, const std::vector<SimRadio>& radios);

void ExpectScreen0ListsTheNetwork(ProgramRun& run, const std::vector<SimRadio>& radios);
void ExpectScreen1ShowsPlausibleValues(ProgramRun& run);
// "Current.log" (rewritten as at a new minute) and a requested CSV list every radio.
void ExpectLogAndCsvListEveryRadio(ProgramRun& run, TempWorkDir& dir);
// Saved under `name`, cleared with New Network and reopened: the same radios in the same order.
void ExpectNetworkFileRoundTrip(ProgramRun& run, TempWorkDir& dir, const std::string& name);

// Graphics3 and Graphics4 of a radio with history: traces inside the plot, nothing wild.
void ExpectGraphsDrawHistory(ProgramRun& run, int index);

// The value shown after a parameter's name on Screen2 (after paint()), or -1 if unread.
int Screen2Value(const RecordingCanvas& canvas, std::string_view name);
