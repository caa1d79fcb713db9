#include "text/hex.h"

std::string HexText(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    char text[2 * sizeof value];
    size_t first = sizeof text;
    do {
        text[--first] = digits[value & 15];
        value >>= 4;
    } while (value != 0);
    return std::string(text + first, text + sizeof text);
}
