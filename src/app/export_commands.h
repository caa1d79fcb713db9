#pragma once

struct Program;
class Host;

// File > Export Graph... and File > Export History...: the graph screen that is
// shown (Graphics3 or Graphics4 of the selected radio) as a PNG image or its
// samples as CSV, each to a file chosen in a save dialog and replaced whole.
// Returns false for any other id.
bool OnExportCommand(Program& program, Host& host, int id);
