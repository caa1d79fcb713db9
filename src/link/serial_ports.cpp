#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>

#include "link/links.h"

// "Com1".."Com8" to a device path. CORVANE_COMn wins (tests and unusual setups point
// it at a pseudo-terminal); otherwise the first existing USB, ACM or on-board port
// with index n - 1. A name that is itself a device path ("/dev/rfcomm0") is taken as
// it stands. Any other name has no device.
std::string SerialDevicePath(const std::string& commPortName) {
    if (IsSerialDevicePath(commPortName)) return commPortName;
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

bool IsSerialDevicePath(const std::string& commPortName) { return !commPortName.empty() && commPortName[0] == '/'; }

std::string SerialPermissionAdvice(unsigned ownerUid, unsigned ownerGid, unsigned mode) {
    // Joining the owning group helps only when that group may both read and write;
    // the root group is never the answer.
    const struct group* group = getgrgid(static_cast<gid_t>(ownerGid));
    const bool groupMayUse = (mode & S_IRGRP) && (mode & S_IWGRP);
    if (groupMayUse && ownerGid != 0 && group != nullptr) {
        const std::string name = group->gr_name;
        return "Add your user to the group \"" + name + "\" that owns the device (sudo usermod -aG " + name +
               " $USER), then log out and in again.";
    }
    const struct passwd* owner = getpwuid(static_cast<uid_t>(ownerUid));
    const std::string user = owner != nullptr ? owner->pw_name : std::to_string(ownerUid);
    return "Only its owner (" + user +
           ") may open the device. Serial devices are usually made available to a group such as \"dialout\" by a "
           "udev rule (GROUP=\"dialout\", MODE=\"0660\"); ask the administrator to add one.";
}

std::string SerialOpenFailureText(const std::string& commPortName, const std::string& path, int code) {
    std::string text = "Could not open comm port!\n";
    if (path.empty()) return text + commPortName + ": no device";
    text += path + ": " + std::strerror(code);
    if (code == EACCES) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0)
            text += "\n" + SerialPermissionAdvice(info.st_uid, info.st_gid, info.st_mode);
        else  // owner unknown: the usual group of serial devices
            text += "\nAdd your user to the group \"dialout\" that owns the device (sudo usermod -aG dialout $USER), "
                    "then log out and in again.";
    }
    return text;
}
