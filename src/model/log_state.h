#pragma once
#include <cstdint>
#include <string>

struct LogState {
    std::string bannerText = "Diagnostics KTX Version 2.16";
    int32_t lastLogMinute = 0;
    bool logRequested = false;
    bool csvRequested = false;
};
