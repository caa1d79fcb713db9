#include "monitor/headless_host.h"

void HeadlessHost::messageBox(const std::string& text, const std::string& title) {
    lastText = text;
    notice(title + " " + text);
}

bool HeadlessHost::prompt(const std::string& title, std::string& text) {
    if (title == "Phone Number To Dial") {
        text = phoneNumber;
        return true;
    }
    if (title == "UDP PassWord Leave Blank For None") {
        text = udpPassword;
        return true;
    }
    // Every other prompt belongs to a menu the monitor does not offer.
    return false;
}

bool HeadlessHost::redialDialog(const std::string& title) {
    lastText = title;
    notice("modem: " + title);
    return false;
}
