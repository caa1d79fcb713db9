#pragma once
// Pieces shared by the text screens, the graphs and the live view.
#include <string>

#include "model/display_options.h"
#include "model/radio_network.h"
#include "platform/clock.h"

// One character for a hop's repeater number: '0'..'9', then 'A'.. onwards.
char HopDigit(int n);
// The record at `radio`, or a blank record when the index is outside the table.
const RadioRecord& RadioAt(const RadioNetwork& network, int radio);
// The identity column: the name and a blank, or the serial with "######## ".
std::string IdentityText(const DisplayOptions& display, const RadioRecord& radio);
// The start every list row shares: identity in dark green, Fn from column 10 ("S" or
// "R" + hex, padded by `pad`), and for a radio that never replied the 67-blank rest.
// Returns false when the row is complete (no reply yet).
bool DrawRowHead(DisplayOptions& display, const RadioRecord& radio, const std::string& pad);
// "* ####"-style radio ID when parameters 29, 30 and 33 are read, else "XXXXXX".
std::string RadioIdText(const RadioRecord& radio, const char* mask, const char* unread);
// Seconds since midnight now, from the clock (0 without one).
double NowSecondsOfDay(const Clock* clock);
// Draws the 8-character time received, dark red when older than the alarm time.
void DrawTimeReceived(DisplayOptions& display, const Clock* clock, const RadioRecord& radio);
// Whole degrees in the chosen units (C, or F rounded to a whole degree).
int TemperatureInUnits(const DisplayOptions& display, int raw);

// The list bars of Screens 0, 1 and 2; text only on the radio lists.
void DrawStartBar(DisplayOptions& display, const RadioNetwork& network, bool withText);
void DrawEndBar(DisplayOptions& display, const RadioNetwork& network, bool withText);
void DrawListArrows(DisplayOptions& display);
// rowsPerPage from the client height, and lastVisibleRow from it.
void ComputePageGeometry(DisplayOptions& display, RadioNetwork& network);
// Screen0 or Screen1: header, bars and the visible radios' rows.
void DrawRadioList(DisplayOptions& display, const RadioNetwork& network, const Clock* clock, bool screen1);
// Rows 3 and 4 of Screen0 and Screen1.
void DrawScreen0Header(DisplayOptions& display);
void DrawScreen1Header(DisplayOptions& display);
