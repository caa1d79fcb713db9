#pragma once
#include <string>

// Upper-case hexadecimal without leading zeros ("0", "A", "1F"). A negative int
// reads as its 32-bit pattern, as the screens always showed it.
std::string HexText(unsigned value);
