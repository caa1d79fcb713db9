#include "frames.h"

#include <algorithm>
#include <cstdio>

namespace radiosim {

uint8_t XorOf(std::span<const uint8_t> bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    return x;
}

uint8_t Biased(int level) { return static_cast<uint8_t>(std::clamp(level + 16, 0, 255)); }

std::string Hex(std::span<const uint8_t> bytes, bool spaced) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (spaced && i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

namespace {

void PutSerial(Bytes& f, size_t at, uint32_t serial) {
    f[at] = static_cast<uint8_t>(serial >> 16);
    f[at + 1] = static_cast<uint8_t>(serial >> 8);
    f[at + 2] = static_cast<uint8_t>(serial);
}

void PutWord(Bytes& f, size_t at, uint16_t w) {
    f[at] = static_cast<uint8_t>(w >> 8);
    f[at + 1] = static_cast<uint8_t>(w);
}

void Seal(Bytes& f) { f.back() = XorOf(std::span(f).first(f.size() - 1)); }

}  // namespace

Bytes EncodeMasterStatus(const MasterStatusFrame& s) {
    Bytes f(14, 0);
    f[0] = kMasterStatus;
    PutSerial(f, 1, s.serial);
    f[4] = s.slot;
    f[5] = static_cast<uint8_t>(s.dataCount >> 8);
    f[6] = static_cast<uint8_t>(s.dataCount);
    f[7] = static_cast<uint8_t>((s.busy ? 0x80 : 0) | std::clamp(s.noise + 16, 0, 127));
    f[8] = static_cast<uint8_t>(s.dataCount >> 16);
    f[10] = s.temperatureRaw;
    f[11] = s.voltageRaw;
    f[12] = s.revision;
    Seal(f);
    return f;
}

Bytes EncodeLinkReport(const LinkReportFrame& r) {
    Bytes f(12, 0);
    f[0] = r.twentyBit ? kLinkReport20 : kLinkReport;
    PutSerial(f, 1, r.twentyBit ? (r.serial & 0x0FFFFF) : r.serial);
    f[5] = r.sequence;
    f[6] = r.masterBytes;
    f[7] = r.slaveBytes;
    f[8] = Biased(r.noise);
    PutWord(f, 9, r.distanceWord);
    Seal(f);
    return f;
}

Bytes EncodeTrafficReport(const TrafficReportFrame& r) {
    Bytes f(12, 0);
    f[0] = kTrafficReport;
    PutSerial(f, 1, r.serial);
    PutWord(f, 4, r.dataBytes);
    f[6] = r.badPackets;
    f[7] = r.goodPackets;
    f[8] = Biased(r.noise);
    PutWord(f, 9, r.distanceWord);
    Seal(f);
    return f;
}

Bytes EncodeMasterEcho(uint8_t type, uint32_t serial, uint16_t address, uint8_t value) {
    Bytes f(8, 0);
    f[0] = type;
    PutSerial(f, 1, serial);
    PutWord(f, 4, address);
    f[6] = value;
    Seal(f);
    return f;
}

Bytes EncodeDiagnostics(const DiagnosticsFrame& d) {
    const int n = std::min<int>(static_cast<int>(d.hops.size()), kMaxHops);
    Bytes f(DiagnosticsLength(n), 0);
    f[0] = d.type;
    PutWord(f, 1, d.address);
    f[3] = Biased(d.linkSignal);
    PutSerial(f, 4, d.serial);
    f[7] = static_cast<uint8_t>(n);
    f[8] = d.goodShare;
    f[9] = Biased(d.signal);
    f[10] = Biased(d.noise);
    f[11] = d.lineStatus;
    f[13] = d.temperatureRaw;
    f[14] = d.voltageRaw;
    f[15] = d.frequencyCounter;
    f[16] = d.value;
    f[17] = d.revision;
    for (int k = 0; k < n; ++k) {
        const size_t at = 18 + 6 * static_cast<size_t>(k);
        PutSerial(f, at, d.hops[k].serial);
        f[at + 3] = Biased(d.hops[k].signal);
        PutWord(f, at + 4, d.hops[k].distanceWord);
    }
    PutWord(f, 18 + 6 * static_cast<size_t>(n), d.distanceWord);
    Seal(f);
    return f;
}

Bytes EncodeRequest(uint8_t type, uint32_t serial, uint8_t hi, uint8_t lo) {
    Bytes f(8, 0);
    f[0] = type;
    PutSerial(f, 1, serial);
    f[5] = hi;
    f[6] = lo;
    Seal(f);
    return f;
}

Bytes EncodeNumberPoll(uint8_t n) { return EncodeRequest(kReadRequest, 0xFFFF00u | n, 0x0D, 0x80); }

}  // namespace radiosim
