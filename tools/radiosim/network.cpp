#include "network.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace radiosim {

namespace {

// Counter steps per second for one ppm of frequency offset: the program
// turns a step count d over t seconds into 69.444 d / 25.6 / t tenths of a ppm.
constexpr double kStepsPerPpm = 10.0 * 25.6 / 69.444;

constexpr uint32_t kLowestSerial = 2000000;
constexpr uint32_t kHighestOldSerial = 9100000;
constexpr uint32_t kHighestSerial = 9150000;

int Round(double v) { return static_cast<int>(std::lround(v)); }
uint8_t ByteOf(double v) { return static_cast<uint8_t>(std::clamp(Round(v), 0, 255)); }

std::string AddressText(uint16_t address) {
    char buf[48];
    if (auto row = RowOfAddress(address))
        std::snprintf(buf, sizeof buf, "@%04X (row %d)", address, *row);
    else
        std::snprintf(buf, sizeof buf, "@%04X", address);
    return buf;
}

}  // namespace

void Wander::advance(double seconds, std::mt19937& rng) {
    if (seconds <= 0) return;
    const double keep = std::exp(-seconds / tau);
    std::normal_distribution<double> normal(0.0, 1.0);
    value = base + (value - base) * keep + spread * std::sqrt(1 - keep * keep) * normal(rng);
}

Network::Network(const NetworkConfig& config) : rng(config.seed) { build(config); }

void Network::build(const NetworkConfig& config) {
    const int n = std::clamp(config.radios, 1, kMaxRadios);
    const int repeaterCount =
        std::clamp(config.repeaters < 0 ? n / 4 : config.repeaters, 0, std::min(n, kMaxRepeaters));
    auto uniform = [this](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [this](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto chance = [&](double p) { return uniform(0, 1) < p; };

    std::set<uint32_t> used;
    auto draw = [&](uint32_t lo, uint32_t hi, bool allowWindow) {
        for (;;) {
            const uint32_t s = static_cast<uint32_t>(pick(static_cast<int>(lo), static_cast<int>(hi)));
            const bool inWindow = s >= 2410000 && s <= 2420000;
            if (inWindow && !allowWindow) continue;
            if (used.insert(s).second) return s;
        }
    };

    NetworkSettings net;
    net.freqKey = static_cast<uint8_t>(pick(0, 15));
    net.networkIdHigh = static_cast<uint8_t>(pick(1, 254));
    net.networkIdLow = static_cast<uint8_t>(pick(0, 255));
    net.repeaterCount = static_cast<uint8_t>(repeaterCount);

    radios.resize(static_cast<size_t>(n) + 1);
    const uint32_t masterSerial = draw(3000000, 8900000, false);
    const uint32_t masterTop = masterSerial & 0xF00000;

    for (int i = 0; i <= n; ++i) {
        Radio& r = radios[static_cast<size_t>(i)];
        r.index = i;
        if (i == 0) {
            r.serial = masterSerial;
        } else {
            // Mix the kinds of radio so both voltage scales and both parameter
            // counts appear, and some serials share the master's top bits
            // (those can be named in a 20-bit link report).
            switch (i % 4) {
                case 1: r.serial = draw(9110001, kHighestSerial, false); break;
                case 2: r.serial = draw(2410001, 2419998, true); break;
                case 3: r.serial = draw(std::max(kLowestSerial, masterTop), std::min(kHighestOldSerial, masterTop | 0xFFFFF), false); break;
                default: r.serial = draw(kLowestSerial, kHighestOldSerial, false); break;
            }
        }
        bySerial[r.serial] = i;
    }

    // Roles: repeaters spread over the list.
    std::vector<int> order;
    for (int i = 1; i <= n; ++i) order.push_back(i);
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<bool> isRepeater(static_cast<size_t>(n) + 1, false);
    for (int k = 0; k < repeaterCount; ++k) isRepeater[static_cast<size_t>(order[static_cast<size_t>(k)])] = true;

    radios[0].role = Role::Master;
    for (int i = 1; i <= n; ++i) {
        Radio& r = radios[static_cast<size_t>(i)];
        if (!isRepeater[static_cast<size_t>(i)]) continue;
        r.role = Role::Repeater;
        r.repeaterNumber = static_cast<int>(repeaters.size()) + 1;
        // The second repeater hangs off the first so that two-hop paths exist;
        // others are direct or behind a direct repeater. A chain puts each of
        // its repeaters behind the one before.
        const int chain = std::min(config.chain, repeaterCount);
        if (chain > 0 && static_cast<int>(repeaters.size()) < chain) {
            if (!repeaters.empty()) {
                r.path = radios[static_cast<size_t>(repeaters.back())].path;
                r.path.push_back(repeaters.back());
            }
        } else if (repeaters.size() == 1) {
            r.path = {repeaters[0]};
        } else if (repeaters.size() > 1 && chance(0.4)) {
            std::vector<int> direct;
            for (int q : repeaters)
                if (radios[static_cast<size_t>(q)].path.empty()) direct.push_back(q);
            r.path = {direct[static_cast<size_t>(pick(0, static_cast<int>(direct.size()) - 1))]};
        }
        repeaters.push_back(i);
    }
    int slaveCount = 0;
    const int chain = std::min(config.chain, repeaterCount);
    // With a chain, a slave at its far end has the longest path there is.
    const int deepSlave = chain > 0 ? std::min(3, n - repeaterCount - 1) : -1;
    for (int i = 1; i <= n; ++i) {
        Radio& r = radios[static_cast<size_t>(i)];
        if (r.role == Role::Repeater) continue;
        r.role = Role::Slave;
        int via = -1;  // repeater index to hang off
        if (!repeaters.empty()) {
            // The first slaves show each kind of path: direct, one hop, two hops.
            if (slaveCount == deepSlave)
                via = repeaters[static_cast<size_t>(chain - 1)];
            else if (slaveCount == 1)
                via = repeaters[0];
            else if (slaveCount == 2 && repeaters.size() > 1)
                via = repeaters[1];
            else if (slaveCount > 2 && chance(0.6))
                via = repeaters[static_cast<size_t>(pick(0, static_cast<int>(repeaters.size()) - 1))];
        }
        if (via > 0) {
            r.path = radios[static_cast<size_t>(via)].path;
            r.path.push_back(via);
        }
        ++slaveCount;
    }

    for (Radio& r : radios) {
        const bool newType = r.role == Role::Master || IsNewType(r.serial);
        r.distanceWord = static_cast<uint16_t>(pick(5350, 5530));
        const double signal = std::clamp(70.0 - (5632 - r.distanceWord) / 6.0 + uniform(-4, 4), 12.0, 70.0);
        r.signal = {signal, signal, 2.5, 120};
        const double noise = uniform(2, 7);
        r.noise = {noise, noise, 0.8, 60};
        const double good = chance(0.12) ? uniform(170, 200) : uniform(238, 253);
        r.goodShare = {good, good, 4, 120};
        const double temperature = uniform(105, 135);
        r.temperature = {temperature, temperature, 2, 900};
        const double fullScale = newType ? 32.5 : 15.0;
        const double volts = uniform(12.2, 13.8);
        r.voltage = {volts / fullScale * 256, volts / fullScale * 256, 0.08 / fullScale * 256, 300};
        double ppm = std::clamp(std::normal_distribution<double>(0, 1.5)(rng), -4.5, 4.5);
        if (chance(0.1)) ppm = (chance(0.5) ? -1 : 1) * uniform(5.5, 7.5);
        r.freqRate = r.role == Role::Master ? 0 : ppm * kStepsPerPpm;
        r.freqPhase = uniform(0, 256);
        const double line = uniform(0, 1);
        r.lineBits = line < 0.7 ? 0x30 : line < 0.9 ? 0xB0 : 0x10;
        r.disconnects = static_cast<uint8_t>(pick(0, 15));
        r.disconnectRate = chance(0.15) ? 1.0 / 120 : 1.0 / 1800;
        r.revision = static_cast<uint8_t>(newType ? 52 + 2 * pick(0, 2) : 31 + 2 * pick(0, 2));
        r.setup = SetupMemory(DefaultEeprom(r.role, r.serial, r.index, net, rng));
    }
}

Radio* Network::findBySerial(uint32_t serial) {
    auto it = bySerial.find(serial);
    return it == bySerial.end() ? nullptr : &radios[static_cast<size_t>(it->second)];
}

Radio& Network::byNumber(uint8_t n) {
    const int count = size() - 1;
    const int index = (static_cast<int>(n) + count - 1) % count + 1;
    return radios[static_cast<size_t>(index)];
}

void Network::advance(Radio& r, int64_t nowMs) {
    const double dt = static_cast<double>(nowMs - r.lastAdvanceMs) / 1000.0;
    if (dt <= 0) return;
    r.lastAdvanceMs = nowMs;
    r.signal.advance(dt, rng);
    r.noise.advance(dt, rng);
    r.goodShare.advance(dt, rng);
    r.temperature.advance(dt, rng);
    r.voltage.advance(dt, rng);
    const int steps = std::poisson_distribution<int>(r.disconnectRate * dt)(rng);
    r.disconnects = static_cast<uint8_t>((r.disconnects + steps) & 15);
    r.trafficBytes += static_cast<uint32_t>(dt * std::uniform_real_distribution<double>(5, 60)(rng));
}

uint8_t Network::frequencyCounter(const Radio& r, int64_t nowMs) const {
    const double phase = r.freqPhase + r.freqRate * static_cast<double>(nowMs) / 1000.0;
    const int64_t steps = static_cast<int64_t>(std::floor(phase));
    return static_cast<uint8_t>(((steps % 256) + 256) % 256);
}

uint16_t Network::reportedDistance(const Radio& r) const {
    return r.path.empty() ? r.distanceWord : radios[static_cast<size_t>(r.path.front())].distanceWord;
}

Bytes Network::diagnosticsOf(Radio& r, uint8_t type, uint16_t address, uint8_t value, int64_t nowMs) {
    advance(r, nowMs);
    DiagnosticsFrame d;
    d.type = type;
    d.address = address;
    d.serial = r.serial;
    d.signal = Round(r.signal.value);
    d.linkSignal = d.signal;
    d.noise = std::max(0, Round(r.noise.value));
    d.goodShare = ByteOf(r.goodShare.value);
    d.lineStatus = static_cast<uint8_t>(r.lineBits | (r.disconnects & 15));
    d.temperatureRaw = static_cast<uint8_t>(std::clamp(Round(r.temperature.value), 1, 255));
    d.voltageRaw = ByteOf(r.voltage.value);
    d.frequencyCounter = frequencyCounter(r, nowMs);
    d.value = value;
    d.revision = r.revision;
    for (int p : r.path) {
        Radio& hop = radios[static_cast<size_t>(p)];
        advance(hop, nowMs);
        d.hops.push_back({hop.serial, Round(hop.signal.value), hop.distanceWord});
    }
    const int jitter = std::uniform_int_distribution<int>(-1, 1)(rng);
    d.distanceWord = static_cast<uint16_t>(r.distanceWord + jitter);
    return EncodeDiagnostics(d);
}

Outcome Network::answer(const Request& request, int64_t nowMs) {
    Outcome o;
    char buf[160] = "";
    Radio* r = nullptr;
    if (request.byNumber()) {
        if (request.type() != kReadRequest) {
            o.text = "write/store by number: no radio answers";
            return o;
        }
        r = &byNumber(request.number());
    } else {
        r = findBySerial(request.serial());
        if (!r) {
            std::snprintf(buf, sizeof buf, "no radio with serial %u", request.serial());
            o.text = buf;
            return o;
        }
    }
    if (silenced.count(r->serial)) {
        o.silenced = true;
        std::snprintf(buf, sizeof buf, "radio %u silenced", r->serial);
        o.text = buf;
        return o;
    }

    const bool master = r->role == Role::Master;
    o.hops = static_cast<int>(r->path.size());
    switch (request.type()) {
        case kReadRequest: {
            const uint16_t address = request.address();
            const uint8_t value = r->setup.read(address);
            o.reply = master ? EncodeMasterEcho(kMasterRead, r->serial, address, value)
                             : diagnosticsOf(*r, kReadReply, address, value, nowMs);
            std::snprintf(buf, sizeof buf, "%s %u read %s = %u%s", master ? "master" : "radio", r->serial,
                          AddressText(address).c_str(), value, request.byNumber() ? " (by number)" : "");
            break;
        }
        case kWriteRequest: {
            const uint8_t value = request.value();
            const uint16_t address = r->setup.write(value, nowMs);
            o.reply = master ? EncodeMasterEcho(kMasterWrite, r->serial, address, value)
                             : diagnosticsOf(*r, kWriteReply, address, value, nowMs);
            std::snprintf(buf, sizeof buf, "%s %u write %s = %u pending", master ? "master" : "radio", r->serial,
                          AddressText(address).c_str(), value);
            break;
        }
        case kStoreRequest: {
            const uint16_t address = request.address();
            if (ignoreStores) {
                o.storeRefused = true;
                std::snprintf(buf, sizeof buf, "radio %u store %s ignored", r->serial, AddressText(address).c_str());
            } else if (auto done = r->setup.store(address)) {
                std::snprintf(buf, sizeof buf, "radio %u store %s = %u committed", r->serial,
                              AddressText(address).c_str(), done->value);
            } else {
                std::snprintf(buf, sizeof buf, "radio %u store %s: nothing pending", r->serial,
                              AddressText(address).c_str());
            }
            break;
        }
    }
    o.text = buf;
    return o;
}

Unsolicited Network::masterStatus(int64_t nowMs, bool busy) {
    Radio& m = radios.front();
    const double dt = static_cast<double>(nowMs - m.lastAdvanceMs) / 1000.0;
    advance(m, nowMs);
    MasterStatusFrame s;
    s.serial = m.serial;
    s.slot = slot;
    slot = static_cast<uint8_t>((slot + 1) % 32);
    s.dataCount = static_cast<uint32_t>(std::max(0.0, dt) * std::uniform_real_distribution<double>(100, 2500)(rng));
    s.busy = busy;
    s.noise = std::max(0, Round(m.noise.value));
    s.temperatureRaw = static_cast<uint8_t>(std::clamp(Round(m.temperature.value), 1, 255));
    s.voltageRaw = ByteOf(m.voltage.value);
    s.revision = m.revision;
    char buf[96];
    std::snprintf(buf, sizeof buf, "status master %u slot %u data %u%s", m.serial, s.slot, s.dataCount,
                  busy ? " busy" : "");
    return {EncodeMasterStatus(s), buf, {}};
}

Radio* Network::randomSlave() {
    if (size() < 2) return nullptr;
    std::uniform_int_distribution<int> any(1, size() - 1);
    for (int tries = 0; tries < 8; ++tries) {
        Radio& r = radios[static_cast<size_t>(any(rng))];
        if (!silenced.count(r.serial)) return &r;
    }
    return nullptr;
}

std::optional<Unsolicited> Network::linkReport(int64_t nowMs) {
    Radio* r = randomSlave();
    if (!r) return std::nullopt;
    advance(*r, nowMs);
    LinkReportFrame f;
    f.twentyBit = (r->serial & 0xF00000) == (master().serial & 0xF00000);
    f.serial = r->serial;
    // Now and then the master repeats a report; its unchanged sequence
    // nibbles tell the program not to count it twice.
    if (lastSequence != 0 && std::uniform_int_distribution<int>(0, 9)(rng) == 0) {
        f.sequence = lastSequence;
    } else {
        masterNibble = static_cast<uint8_t>((masterNibble + 1) & 15);
        slaveNibble = static_cast<uint8_t>((slaveNibble + 1) & 15);
        f.sequence = static_cast<uint8_t>(masterNibble << 4 | slaveNibble);
    }
    lastSequence = f.sequence;
    f.masterBytes = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
    f.slaveBytes = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng));
    f.noise = std::max(0, Round(master().noise.value));
    f.distanceWord = reportedDistance(*r);
    char buf[96];
    std::snprintf(buf, sizeof buf, "link report radio %u seq %02X", r->serial, f.sequence);
    return Unsolicited{EncodeLinkReport(f), buf, {}};
}

std::optional<Unsolicited> Network::trafficReport(int64_t nowMs) {
    Radio* r = randomSlave();
    if (!r) return std::nullopt;
    advance(*r, nowMs);
    TrafficReportFrame f;
    f.serial = r->serial;
    f.dataBytes = static_cast<uint16_t>(std::min<uint32_t>(r->trafficBytes, 65535));
    r->trafficBytes -= f.dataBytes;
    const bool poor = r->goodShare.value < 210;
    f.badPackets = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, poor ? 8 : 1)(rng));
    f.goodPackets = static_cast<uint8_t>(std::uniform_int_distribution<int>(10, 60)(rng));
    f.noise = std::max(0, Round(r->noise.value));
    f.distanceWord = reportedDistance(*r);
    char buf[160];
    std::snprintf(buf, sizeof buf, "traffic report radio %u data %u good %u bad %u", r->serial, f.dataBytes,
                  f.goodPackets, f.badPackets);
    std::string text = buf, fault;
    if (shortTrafficSerialsPercent > 0 &&
        std::uniform_real_distribution<double>(0, 100)(rng) < shortTrafficSerialsPercent) {
        // The low 20 bits name a radio only together with the master's top
        // four; the low 16 bits name none.
        const bool sharesTop = (r->serial & 0xF00000) == (master().serial & 0xF00000);
        const bool twenty = sharesTop && std::uniform_int_distribution<int>(0, 1)(rng) == 1;
        f.serial = r->serial & (twenty ? 0xFFFFFu : 0xFFFFu);
        fault = "short-serial";
        std::snprintf(buf, sizeof buf, " [fault short-serial: sent as %06X, low %d bits%s]", f.serial,
                      twenty ? 20 : 16, f.serial < 0x10000 ? ", names no radio" : "");
        text += buf;
    }
    return Unsolicited{EncodeTrafficReport(f), text, fault};
}

std::optional<Unsolicited> Network::trace(int64_t nowMs) {
    Radio* r = randomSlave();
    if (!r) return std::nullopt;
    Bytes f = diagnosticsOf(*r, kTrace, kEepromBase, r->setup.memory().get(kEepromBase), nowMs);
    char buf[64];
    std::snprintf(buf, sizeof buf, "trace radio %u", r->serial);
    return Unsolicited{std::move(f), buf, {}};
}

std::vector<std::string> Network::expirePendingWrites(int64_t nowMs, int64_t timeoutMs) {
    std::vector<std::string> resets;
    for (Radio& r : radios) {
        const auto& p = r.setup.pending();
        if (!p || nowMs - p->sinceMs < timeoutMs) continue;
        auto lost = r.setup.reset();
        r.disconnects = static_cast<uint8_t>((r.disconnects + 1) & 15);
        char buf[128];
        std::snprintf(buf, sizeof buf, "radio %u reset: write %s = %u lost, never stored", r.serial,
                      AddressText(lost->address).c_str(), lost->value);
        resets.push_back(buf);
    }
    return resets;
}

int64_t Network::nextPendingDeadline(int64_t timeoutMs) const {
    int64_t next = -1;
    for (const Radio& r : radios)
        if (const auto& p = r.setup.pending())
            if (next < 0 || p->sinceMs + timeoutMs < next) next = p->sinceMs + timeoutMs;
    return next;
}

std::string Network::describe(const Radio& r) const {
    std::string s = "radio " + std::to_string(r.index) + " serial " + std::to_string(r.serial) + " ";
    if (r.role == Role::Master) s += "master";
    else if (r.role == Role::Repeater) s += "repeater " + std::to_string(r.repeaterNumber);
    else s += "slave";
    s += IsNewType(r.serial) ? " new-type" : " old-type";
    s += " hops " + std::to_string(r.path.size());
    for (int p : r.path) s += " " + std::to_string(radios[static_cast<size_t>(p)].serial);
    return s;
}

}  // namespace radiosim
