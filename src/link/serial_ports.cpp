#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "link/links.h"

// "Com1".."Com8" to a device path. CORVANE_COMn wins (tests and unusual setups point
// it at a pseudo-terminal); otherwise the first existing USB, ACM or on-board port
// with index n - 1. Any other name has no device.
std::string SerialDevicePath(const std::string& commPortName) {
    if (commPortName.size() != 4 || commPortName.compare(0, 3, "Com") != 0) return {};
    char digit = commPortName[3];
    if (digit < '1' || digit > '8') return {};

    std::string variable = "CORVANE_COM";
    variable += digit;
    if (const char* forced = std::getenv(variable.c_str()); forced != nullptr && forced[0] != '\0')
        return forced;

    const std::string index(1, static_cast<char>(digit - 1));
    for (const char* prefix : {"/dev/ttyUSB", "/dev/ttyACM", "/dev/ttyS"}) {
        std::string path = prefix + index;
        struct stat info {};
        if (stat(path.c_str(), &info) == 0) return path;
    }
    return {};
}
