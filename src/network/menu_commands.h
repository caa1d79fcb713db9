#pragma once
#include <string>

struct Program;
class Host;

// Every menu command by its id. Returns false for an unknown id.
bool OnMenuCommand(Program& program, Host& host, int id);
// Decimal reading of typed numbers: leading blanks skipped, stops at the first
// character that cannot continue a number, no number reads as 0.
double ParseTypedNumber(const std::string& text);
