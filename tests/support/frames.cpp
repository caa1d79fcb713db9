#include "support/frames.h"

#include <cstdio>
#include <stdexcept>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<uint8_t> HexFrame(std::string_view hex) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\n' || c == '\t' || c == ',') continue;
        int d = HexDigit(c);
        if (d < 0) throw std::invalid_argument("not hexadecimal: " + std::string(hex));
        if (high < 0) {
            high = d;
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of digits: " + std::string(hex));
    return bytes;
}

std::vector<uint8_t> FillXor(std::vector<uint8_t> bytes) {
    if (bytes.empty()) return bytes;
    uint8_t check = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) check ^= bytes[i];
    bytes.back() = check;
    return bytes;
}

std::vector<uint8_t> AppendXor(std::vector<uint8_t> bytes) {
    bytes.push_back(0);
    return FillXor(std::move(bytes));
}

std::string HexText(std::span<const uint8_t> bytes) {
    std::string text;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) text += ' ';
        text += buf;
    }
    return text;
}

void VectorByteSource::receive(uint8_t* destination, int n) {
    for (int i = 0; i < n && position < data.size(); ++i) destination[i] = data[position++];
}
