#include "app/menu_table.h"

#include "platform/ids.h"

namespace {

constexpr MenuItem fileItems[] = {
    {menu::newNetwork, "&New Network", ""},
    {menu::openNetworkFile, "&Open Network File", ""},
    {menu::close, "&Close", "", true, true},
    {menu::saveNetworkFile, "&Save Network File", "F"},
    {menu::writeLogFile, "&Write Log File", "W"},
    {menu::writeCsvFile, "&Write Log File to CSV", ""},
    {menu::saveRadioSettings, "Save &Radio Settings", ""},
    {menu::saveAllRadioSettings, "Save ALL Radio Settings", "", true},
    {menu::exportGraph, "Export &Graph...", ""},
    {menu::exportHistory, "Export &History...", "", true},
    {menu::exit, "E&xit", "Alt+F4"},
};

constexpr MenuItem editItems[] = {
    {menu::deleteRadio, "DeleteRadio", "D"},
    {menu::pollRadio, "PollRadio", "P"},
    {menu::addRadio, "AddRadio", "A"},
    {menu::locateRadio, "Locate Radio", ""},
    {menu::changeEprom, "Change EPROM", "C"},
    {menu::resetDisconnectCount, "Reset Disc. Count", ""},
};

constexpr MenuItem commItems[] = {
    {menu::changeCommPort, "Chg Comm port", ""},
    {menu::closeComm, "Close Comm", ""},
    {menu::openComm, "Open Comm", "", true},
    {menu::changeIpAddress, "Chg IP Address", ""},
    {menu::connectTcp, "Connect TCPIP ", ""},
    {menu::connectUdp, "Connect  UDP", ""},
    {menu::closeTcpUdp, "Close TCP/UDP", ""},
    {menu::connectDialup, "Connect Via Dialup Modem", ""},
};

constexpr MenuItem showItems[] = {
    {menu::screen0, "Screen0", ""},
    {menu::screen1, "Screen1", ""},
    {menu::screen2, "Screen2", ""},
    {menu::graphics3, "Graphics3", ""},
    {menu::graphics4, "Graphics4", "", true},
    {menu::showNames, "Names", "N"},
    {menu::showSerialNumbers, "Serial Numbers", "N"},
    {menu::rssiDbuv, "RSSI dBuv", "B"},
    {menu::rssiRegular, "RSSI regularl", ""},
    {menu::metricUnits, "Metric km", ""},
    {menu::americanUnits, "American mi", ""},
};

constexpr MenuItem pollItems[] = {
    {menu::randomMode, "Poll in RANDOM Mode", "R"},
    {menu::sequentialMode, "Poll in Sequential Mode", "S"},
    {menu::pollRadioValue, "Poll Radio Value", ""},
    {menu::setPollInterval, "Set Poll Interval", ""},
};

constexpr MenuItem helpItems[] = {
    {menu::help, "&Help", "F1", true},
    {menu::about, "&About", ""},
};

constexpr Menu menus[] = {
    {"&File", fileItems},
    {"&EditRadio", editItems},
    {"&Communication", commItems},
    {"&Show", showItems},
    {"P&oll Options", pollItems},
    {"&Help", helpItems, true},
};

constexpr std::string_view helpTexts[] = {
    "Open new file",     "Open existing file", "Close file",           "Save file",
    "Exit Skeleton",     "Cut to clipboard",   "Copy to clipboard",    "Paste from clipboard",
    "Help",              "About Diagnostics 2.16",
};

}  // namespace

std::span<const Menu> MainMenu() { return menus; }

std::string_view MenuHelpText(int id) {
    if (id >= menu::newNetwork && id <= menu::about) return helpTexts[id - menu::newNetwork];
    return {};
}
