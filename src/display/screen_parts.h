#pragma once
// Pieces shared by the text screens, the graphs and the live view.
#include <string>

struct Program;
struct RadioRecord;

// One character for a hop's repeater number: '0'..'9', then 'A'.. onwards.
char HopDigit(int n);
// The record at `radio`, or a blank record when the index is outside the table.
const RadioRecord& RadioAt(const Program& program, int radio);
// The identity column: the name and a blank, or the serial with "######## ".
std::string IdentityText(const Program& program, const RadioRecord& radio);
// The start every list row shares: identity in dark green, Fn from column 10 ("S" or
// "R" + hex, padded by `pad`), and for a radio that never replied the 67-blank rest.
// Returns false when the row is complete (no reply yet).
bool DrawRowHead(Program& program, const RadioRecord& radio, const std::string& pad);
// "* ####"-style radio ID when parameters 29, 30 and 33 are read, else "XXXXXX".
std::string RadioIdText(const RadioRecord& radio, const char* mask, const char* unread);
// Seconds since midnight now, from the program's clock (0 without one).
double NowSecondsOfDay(const Program& program);
// Draws the 8-character time received, dark red when older than the alarm time.
void DrawTimeReceived(Program& program, const RadioRecord& radio);
// Whole degrees in the chosen units (C, or F rounded to a whole degree).
int TemperatureInUnits(const Program& program, int raw);

// The list bars of Screens 0, 1 and 2; text only on the radio lists.
void DrawStartBar(Program& program, bool withText);
void DrawEndBar(Program& program, bool withText);
void DrawListArrows(Program& program);
// rowsPerPage from the client height, and lastVisibleRow from it.
void ComputePageGeometry(Program& program);
// Screen0 or Screen1: header, bars and the visible radios' rows.
void DrawRadioList(Program& program, bool screen1);
// Rows 3 and 4 of Screen0 and Screen1.
void DrawScreen0Header(Program& program);
void DrawScreen1Header(Program& program);
