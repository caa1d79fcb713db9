#pragma once
#include <string>

// Decimal reading of typed numbers: leading blanks skipped, stops at the first
// character that cannot continue a number, no number reads as 0.
double ParseTypedNumber(const std::string& text);
