// Reply frames as the master radio puts them on the wire, and the request
// frame the program sends. Written from the frame layouts, not from the
// program's decoder, so that tests driving both catch a disagreement.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace radiosim {

using Bytes = std::vector<uint8_t>;

// XOR of all bytes; a whole valid frame XORs to 0.
uint8_t XorOf(std::span<const uint8_t> bytes);

// Level bytes carry a bias of 16; the biased value is clamped to a byte.
uint8_t Biased(int level);

std::string Hex(std::span<const uint8_t> bytes, bool spaced = false);

// Reply frame types.
inline constexpr uint8_t kMasterStatus = 0xF0;
inline constexpr uint8_t kLinkReport = 0xF1;
inline constexpr uint8_t kMasterRead = 0xF2;
inline constexpr uint8_t kMasterWrite = 0xF3;
inline constexpr uint8_t kLinkReport20 = 0xF4;
inline constexpr uint8_t kTrafficReport = 0xF5;
inline constexpr uint8_t kReadReply = 0xF8;
inline constexpr uint8_t kWriteReply = 0xF9;
inline constexpr uint8_t kTrace = 0xFB;

// Request frame types.
inline constexpr uint8_t kReadRequest = 0xF8;
inline constexpr uint8_t kWriteRequest = 0xF9;
inline constexpr uint8_t kStoreRequest = 0xFA;

inline constexpr int kMaxHops = 7;

struct MasterStatusFrame {
    uint32_t serial = 0;
    uint8_t slot = 0;
    uint32_t dataCount = 0;  // 24 bits, sent as high byte at 8, middle at 5, low at 6
    bool busy = false;
    int noise = 0;
    uint8_t temperatureRaw = 128;
    uint8_t voltageRaw = 0;
    uint8_t revision = 0;
};
Bytes EncodeMasterStatus(const MasterStatusFrame& f);

struct LinkReportFrame {
    bool twentyBit = false;  // 0xF4: only the low 20 bits of the serial travel
    uint32_t serial = 0;
    uint8_t sequence = 0;  // high nibble: master count, low nibble: slave count
    uint8_t masterBytes = 0;
    uint8_t slaveBytes = 0;
    int noise = 0;
    uint16_t distanceWord = 0;
};
Bytes EncodeLinkReport(const LinkReportFrame& f);

struct TrafficReportFrame {
    uint32_t serial = 0;
    uint16_t dataBytes = 0;
    uint8_t badPackets = 0;
    uint8_t goodPackets = 0;
    int noise = 0;
    uint16_t distanceWord = 0;
};
Bytes EncodeTrafficReport(const TrafficReportFrame& f);

// 0xF2 / 0xF3: the master's answer about its own EEPROM.
Bytes EncodeMasterEcho(uint8_t type, uint32_t serial, uint16_t address, uint8_t value);

struct HopRecord {
    uint32_t serial = 0;
    int signal = 0;
    uint16_t distanceWord = 0;
};

struct DiagnosticsFrame {
    uint8_t type = kReadReply;  // 0xF8, 0xF9 or 0xFB
    uint16_t address = 0;
    int linkSignal = 0;
    uint32_t serial = 0;
    uint8_t goodShare = 0;
    int signal = 0;
    int noise = 0;
    uint8_t lineStatus = 0;
    uint8_t temperatureRaw = 128;
    uint8_t voltageRaw = 0;
    uint8_t frequencyCounter = 0;
    uint8_t value = 0;
    uint8_t revision = 0;
    std::vector<HopRecord> hops;  // at most kMaxHops, nearest the master first
    uint16_t distanceWord = 0;    // the direct link's word, after the hop records
};
Bytes EncodeDiagnostics(const DiagnosticsFrame& f);

// Length of a reply frame with hop count n for the variable-length types.
inline constexpr size_t DiagnosticsLength(int hops) { return 21 + 6 * static_cast<size_t>(hops); }

// Request frame: 8 bytes, XOR last.
Bytes EncodeRequest(uint8_t type, uint32_t serial, uint8_t hi, uint8_t lo);
Bytes EncodeNumberPoll(uint8_t n);

}  // namespace radiosim
