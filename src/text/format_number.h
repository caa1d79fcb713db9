#pragma once
#include <string>
#include <string_view>

// Formats a number by a mask: "#" optional digit, "0" forced digit, "." point,
// "*x" fill with x, blanks and -+()$ copied, other characters dropped.
std::string FormatNumber(double value, std::string_view mask);
