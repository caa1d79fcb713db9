#include "support/exposition.h"

#include <cstdlib>

Samples ParseExposition(const std::string& text) {
    Samples out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        const size_t space = line.rfind(' ');
        if (space == std::string::npos) continue;
        out[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
    }
    return out;
}
