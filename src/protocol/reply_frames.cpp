#include "protocol/reply_frames.h"

#include "model/derived_values.h"

namespace {

// Bytes up to and including the check byte, hop records aside.
constexpr size_t kMasterStatusLength = 14;
constexpr size_t kReportLength = 12;
constexpr size_t kMemoryEchoLength = 8;
constexpr size_t kHopFrameLength = 21;
constexpr size_t kHopRecordLength = 6;

constexpr uint32_t kMasterTopBits = 0xF00000u;

}  // namespace

// Each parse builds its result inside the optional it returns, so nothing is copied.

std::optional<MasterStatusFrame> ParseMasterStatus(std::span<const uint8_t> f, uint8_t check) {
    std::optional<MasterStatusFrame> parsed;
    if (f.size() < kMasterStatusLength) return parsed;
    MasterStatusFrame& s = parsed.emplace();
    s.check = check;
    s.serial = Serial24(f, 1);
    s.slot = f[4];
    s.dataCount = f[8] * 65536 + f[5] * 256 + f[6];
    s.busy = (f[7] & 0x80) != 0;
    s.noise = (f[7] & 0x7F) - 16;
    s.temperatureRaw = f[10];
    s.voltageRaw = f[11];
    s.revision = f[12];
    return parsed;
}

std::optional<LinkReportFrame> ParseLinkReport(std::span<const uint8_t> f, uint8_t check) {
    std::optional<LinkReportFrame> parsed;
    if (f.size() < kReportLength) return parsed;
    LinkReportFrame& r = parsed.emplace();
    r.check = check;
    r.shortSerial = f[0] == 0xF4;
    r.serial = Serial24(f, 1);
    r.sequence = f[5];
    r.masterBytes = f[6];
    r.slaveBytes = f[7];
    r.noise = f[8] - 16;
    r.distanceRaw = DistanceFromWord(f[9], f[10]);
    return parsed;
}

std::optional<TrafficReportFrame> ParseTrafficReport(std::span<const uint8_t> f, uint8_t check) {
    std::optional<TrafficReportFrame> parsed;
    if (f.size() < kReportLength) return parsed;
    TrafficReportFrame& r = parsed.emplace();
    r.check = check;
    r.serial = Serial24(f, 1);
    r.dataBytes = f[4] * 256 + f[5];
    r.bad = f[6];
    r.good = f[7];
    r.noise = f[8] - 16;
    r.distanceRaw = DistanceFromWord(f[9], f[10]);
    return parsed;
}

std::optional<MemoryEchoFrame> ParseMemoryEcho(std::span<const uint8_t> f, uint8_t check) {
    std::optional<MemoryEchoFrame> parsed;
    if (f.size() < kMemoryEchoLength) return parsed;
    MemoryEchoFrame& e = parsed.emplace();
    e.check = check;
    e.write = f[0] == 0xF3;
    e.serial = Serial24(f, 1);
    e.address = f[4] * 256 + f[5];
    e.value = f[6];
    return parsed;
}

std::optional<DiagnosticsFrame> ParseDiagnostics(std::span<const uint8_t> f, uint8_t check) {
    std::optional<DiagnosticsFrame> parsed;
    if (f.size() < kHopFrameLength) return parsed;
    DiagnosticsFrame& d = parsed.emplace();
    d.check = check;
    d.write = f[0] == 0xF9;
    d.address = f[1] * 256 + f[2];
    d.linkSignal = f[3] - 16;
    d.serial = Serial24(f, 4);
    d.hopCount = f[7];
    d.goodPacketsRaw = f[8];
    d.signal = f[9] - 16;
    d.noise = f[10] - 16;
    d.lineStatus = f[11];
    d.temperatureRaw = f[13];
    d.voltageRaw = f[14];
    d.freq = f[15];
    d.value = f[16];
    d.revision = f[17];
    // Hop records sit between byte 18 and the closing distance word; a frame whose
    // hop bytes never came has none.
    size_t present = (f.size() - kHopFrameLength) / kHopRecordLength;
    d.hops = int(present < size_t(kMaxHopRecords) ? present : size_t(kMaxHopRecords));
    d.bytes = f;
    d.distanceRaw = d.hops == 0 ? DistanceFromWord(f[18], f[19]) : DistanceFromWord(f[22], f[23]);
    return parsed;
}

std::optional<TraceFrame> ParseTrace(std::span<const uint8_t> f, uint8_t check) {
    std::optional<TraceFrame> parsed;
    if (f.size() < kHopFrameLength) return parsed;
    TraceFrame& t = parsed.emplace();
    t.check = check;
    t.address = f[1] * 256 + f[2];
    t.bytes = f;
    return parsed;
}

int32_t HopDistance(const HopRecord& hop) { return DistanceFromWord(hop.distanceWord >> 8, hop.distanceWord & 0xFF); }

std::optional<uint32_t> LinkReportSerial(const LinkReportFrame& report, uint32_t masterSerial) {
    if (!report.shortSerial) return report.serial;
    if (masterSerial == 0) return std::nullopt;
    return report.serial + (masterSerial & kMasterTopBits);
}

std::optional<uint32_t> TrafficReportSerial(const TrafficReportFrame& report, uint32_t masterSerial) {
    if (report.serial < 0x10000) return std::nullopt;
    if (report.serial < 0x100000) {
        if (masterSerial == 0) return std::nullopt;
        return report.serial + (masterSerial & kMasterTopBits);
    }
    return report.serial;
}
