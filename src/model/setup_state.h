#pragma once
#include <array>
#include <cstdint>
#include <string_view>

struct SetupParameter {
    std::string_view name;  // 16 characters, blank-padded; empty for slots 39 and 40
    int32_t offset = 0;     // from the EEPROM base 0x0D80
};

struct SetupParameterTable {
    std::array<SetupParameter, 41> rows{};
};

struct SetupState {
    SetupParameterTable table;
    int32_t setupParamCount = 39;
};
