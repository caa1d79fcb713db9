#pragma once
#include <array>
#include <span>
#include <string_view>

// The main menu, in order. The window builds its menu bar from this table.
struct MenuItem {
    int id;
    std::string_view text;      // '&' marks the mnemonic
    std::string_view shortcut;  // shown after a tab; empty for none
    bool separatorAfter = false;
    bool greyed = false;
};

struct Menu {
    std::string_view title;
    std::span<const MenuItem> items;
    bool rightAligned = false;
};

std::span<const Menu> MainMenu();
// Menu help for the status bar: ids 3072..3081, empty for every other id.
std::string_view MenuHelpText(int id);
