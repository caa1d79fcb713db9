#include "app/menu_table.h"

namespace {

constexpr MenuItem fileItems[] = {
    {3072, "&New Network", ""},
    {3073, "&Open Network File", ""},
    {3074, "&Close", "", true, true},
    {3075, "&Save Network File", "F"},
    {122, "&Write Log File", "W"},
    {204, "&Write Log File to CSV", ""},
    {123, "Save &Radio Settings", ""},
    {135, "Save ALL Radio Settings", "", true},
    {160, "Export &Graph...", ""},
    {161, "Export &History...", "", true},
    {3076, "E&xit", "Alt+F4"},
};

constexpr MenuItem editItems[] = {
    {3077, "DeleteRadio", "D"},
    {3078, "PollRadio", "P"},
    {3079, "AddRadio", "A"},
    {151, "Locate Radio", ""},
    {128, "Change EPROM", "C"},
    {134, "Reset Disc. Count", ""},
};

constexpr MenuItem commItems[] = {
    {119, "Chg Comm port", ""},
    {120, "Close Comm", ""},
    {121, "Open Comm", "", true},
    {129, "Chg IP Address", ""},
    {130, "Connect TCPIP ", ""},
    {150, "Connect  UDP", ""},
    {131, "Close TCP/UDP", ""},
    {200, "Connect Via Dialup Modem", ""},
};

constexpr MenuItem showItems[] = {
    {140, "Screen0", ""},
    {141, "Screen1", ""},
    {142, "Screen2", ""},
    {143, "Graphics3", ""},
    {144, "Graphics4", "", true},
    {124, "Names", "N"},
    {125, "Serial Numbers", "N"},
    {126, "RSSI dBuv", "B"},
    {127, "RSSI regularl", ""},
    {132, "Metric km", ""},
    {133, "American mi", ""},
};

constexpr MenuItem pollItems[] = {
    {201, "Poll in RANDOM Mode", "R"},
    {202, "Poll in Sequential Mode", "S"},
    {203, "Poll Radio Value", ""},
    {152, "Set Poll Interval", ""},
};

constexpr MenuItem helpItems[] = {
    {3080, "&Help", "F1", true},
    {3081, "&About", ""},
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
    if (id >= 3072 && id <= 3081) return helpTexts[id - 3072];
    return {};
}
