#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
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

namespace {

// The stable name udev gives the device under /dev/serial/by-id, if any.
std::string ByIdName(const std::string& device) {
    const std::filesystem::path directory = "/dev/serial/by-id";
    std::error_code error;
    const auto target = std::filesystem::canonical(device, error);
    if (error) return {};
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        std::error_code entryError;
        if (std::filesystem::canonical(entry.path(), entryError) == target && !entryError)
            return entry.path().filename().string();
    }
    return {};
}

}  // namespace

std::string SerialDeviceLabel(const std::string& commPortName) {
    const std::string path = SerialDevicePath(commPortName);
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return "no device";
    const std::string byId = ByIdName(path);
    return byId.empty() ? path : byId;
}

std::string SerialOpenFailureText(const std::string& commPortName, const std::string& path, int code) {
    std::string text = "Could not open comm port!\n";
    if (path.empty()) return text + commPortName + ": no device";
    text += path + ": " + std::strerror(code);
    if (code == EACCES) {
        // Serial devices belong to a group (usually dialout) whose members may open them.
        std::string group = "dialout";
        struct stat info {};
        if (stat(path.c_str(), &info) == 0)
            if (const struct group* owner = getgrgid(info.st_gid); owner != nullptr) group = owner->gr_name;
        text += "\nAdd your user to the group \"" + group + "\" that owns the device (sudo usermod -aG " + group +
                " $USER), then log out and in again.";
    }
    return text;
}
