#pragma once
#include <cstdint>
#include <optional>
#include <span>

// The replies a master radio sends, one struct per frame type, read from the
// bytes alone: no table, no clock. Level bytes carry a bias of 16, removed here.
// Each parse takes one complete frame (type byte to XOR byte) and its check
// value (the XOR of all its bytes, or 0xFF after a hop-byte time-out); it gives
// nothing when the bytes are too few for the type.

inline uint32_t Serial24(std::span<const uint8_t> frame, size_t at) {
    return (uint32_t(frame[at]) << 16) | (uint32_t(frame[at + 1]) << 8) | frame[at + 2];
}

// The verdict on the check byte, kept with every parsed frame.
struct FrameCheck {
    uint8_t check = 0;
    bool ok() const { return check == 0; }
};

// F0: the master's own status.
struct MasterStatusFrame : FrameCheck {
    uint32_t serial = 0;
    uint8_t slot = 0;
    int32_t dataCount = 0;  // bytes 8, 5, 6 (in that order)
    bool busy = false;
    int noise = 0;
    uint8_t temperatureRaw = 0;
    uint8_t voltageRaw = 0;
    uint8_t revision = 0;
};

// F1 (24-bit serial) and F4 (20-bit serial: the master's top bits complete it).
struct LinkReportFrame : FrameCheck {
    bool shortSerial = false;
    uint32_t serial = 0;  // as on the air
    uint8_t sequence = 0;  // high nibble numbers the master's count, low the slave's
    uint8_t masterBytes = 0;
    uint8_t slaveBytes = 0;
    int noise = 0;
    int32_t distanceRaw = 0;
};

// F5.
struct TrafficReportFrame : FrameCheck {
    uint32_t serial = 0;  // as on the air
    int dataBytes = 0;
    uint8_t bad = 0;
    uint8_t good = 0;
    int noise = 0;
    int32_t distanceRaw = 0;
};

// F2 (read) and F3 (write): the master echoing one memory byte.
struct MemoryEchoFrame : FrameCheck {
    bool write = false;
    uint32_t serial = 0;
    int address = 0;
    uint8_t value = 0;
};

// One repeater on a diagnostics reply's path.
struct HopRecord {
    uint32_t serial = 0;
    int signal = 0;
    uint16_t distanceWord = 0;  // as sent: HopDistance converts it
};
int32_t HopDistance(const HopRecord& hop);

constexpr int kMaxHopRecords = 7;

// F8 (read echo) and F9 (write echo) from a remote radio.
struct DiagnosticsFrame : FrameCheck {
    bool write = false;
    int address = 0;
    int linkSignal = 0;
    uint32_t serial = 0;
    uint8_t hopCount = 0;  // as sent; `hops` counts the records actually present
    uint8_t goodPacketsRaw = 0;
    int signal = 0;
    int noise = 0;
    uint8_t lineStatus = 0;
    uint8_t temperatureRaw = 0;
    uint8_t voltageRaw = 0;
    uint8_t freq = 0;
    uint8_t value = 0;
    uint8_t revision = 0;
    int32_t distanceRaw = 0;  // the radio's own word without hops, else the first hop's
    int hops = 0;  // hop records present, at most kMaxHopRecords
    std::span<const uint8_t> bytes;  // the whole frame, check byte included

    // Hop record k (0 .. hops - 1), read from the frame when asked: most
    // replies apply only the first four.
    HopRecord hop(int k) const {
        size_t at = 18 + 6 * size_t(k);
        return {Serial24(bytes, at), bytes[at + 3] - 16, uint16_t(bytes[at + 4] * 256 + bytes[at + 5])};
    }
};

// FB: bytes for the trace rows only.
struct TraceFrame : FrameCheck {
    int address = 0;
    std::span<const uint8_t> bytes;  // the whole frame, check byte included
};

std::optional<MasterStatusFrame> ParseMasterStatus(std::span<const uint8_t> frame, uint8_t check);
std::optional<LinkReportFrame> ParseLinkReport(std::span<const uint8_t> frame, uint8_t check);
std::optional<TrafficReportFrame> ParseTrafficReport(std::span<const uint8_t> frame, uint8_t check);
std::optional<MemoryEchoFrame> ParseMemoryEcho(std::span<const uint8_t> frame, uint8_t check);
std::optional<DiagnosticsFrame> ParseDiagnostics(std::span<const uint8_t> frame, uint8_t check);
std::optional<TraceFrame> ParseTrace(std::span<const uint8_t> frame, uint8_t check);

// A link report's full serial: an F4 takes the master's top four bits, so it
// names no radio before the master's own serial is known (0).
std::optional<uint32_t> LinkReportSerial(const LinkReportFrame& report, uint32_t masterSerial);
// A traffic report's full serial; nothing when it is too low to name a radio
// (below 0x10000). From 0x10000 to 0xFFFFF the master's top bits complete it,
// which they cannot before the master's serial is known.
std::optional<uint32_t> TrafficReportSerial(const TrafficReportFrame& report, uint32_t masterSerial);
