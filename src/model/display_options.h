#pragma once
#include <cstdint>

#include "platform/canvas.h"

struct DisplayOptions {
    int32_t screenNumber = 0;
    bool showNames = false;
    bool metricUnits = true;
    float alarmTimeSeconds = 60.0f;
    int32_t rowsPerPage = 0;
    // The canvas text goes to: set for the length of a paint or a tick, else null.
    Canvas* canvas = nullptr;
    Rect clientRect{0, 0, 808, 600};
    Rect textCursor{};
};
