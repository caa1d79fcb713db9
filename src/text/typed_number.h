#pragma once
#include <string>

// Decimal reading of typed numbers: leading blanks skipped, stops at the first
// character that cannot continue a number, no number reads as 0.
double ParseTypedNumber(const std::string& text);

// A typed port or address part: leading white space, an optional sign, then digits
// only (no fraction, no exponent; stops growing past 100000000); no digits read 0.
long DecimalValue(const std::string& text);
