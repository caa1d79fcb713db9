#pragma once
#include <array>
#include <cstdint>

// The 8-byte request buffer, reused for every request.
struct RequestFrame {
    std::array<uint8_t, 8> bytes{};
};
