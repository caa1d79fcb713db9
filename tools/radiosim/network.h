// The simulated radio network: a master, its slaves and repeaters, the
// values they report and how each one answers a request.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "eeprom.h"
#include "frames.h"
#include "request_parser.h"

namespace radiosim {

inline constexpr int kMaxRadios = 2047;
// Repeater numbers are one byte in the program and three columns in its network
// file; a real network numbers no more repeaters than that.
inline constexpr int kMaxRepeaters = 255;
inline constexpr int kMinChain = 3;
inline constexpr int kMaxChain = 7;  // the most hop records a reply carries

// A value that wanders around its base: a mean-reverting random walk, so
// that it moves plausibly however far apart two looks at it are.
struct Wander {
    double value = 0;
    double base = 0;
    double spread = 0;  // long-run standard deviation
    double tau = 600;   // seconds to forget a disturbance
    void advance(double seconds, std::mt19937& rng);
};

struct Radio {
    int index = 0;  // 0 is the master
    uint32_t serial = 0;
    Role role = Role::Slave;
    int repeaterNumber = 0;   // 1.. for repeaters
    std::vector<int> path;    // repeaters between the master and this radio, master side first
    uint16_t distanceWord = 0;  // of the link to its parent (master or last repeater)
    Wander signal, noise, goodShare, temperature, voltage;
    double freqRate = 0;   // counter steps per second: 3.6864 per ppm
    double freqPhase = 0;  // at the network's start
    uint8_t lineBits = 0;  // bits 7, 5, 4
    uint8_t disconnects = 0;
    double disconnectRate = 0;  // per second
    uint8_t revision = 0;
    SetupMemory setup;
    int64_t lastAdvanceMs = 0;
    uint32_t trafficBytes = 0;  // not yet reported in a traffic report
};

struct NetworkConfig {
    int radios = 12;
    int repeaters = -1;  // -1: a quarter of the radios; never more than kMaxRepeaters
    uint32_t seed = 1;
    int chain = 0;  // repeaters in a chain with a slave at its end; 0: none
};

// What a request led to.
struct Outcome {
    std::optional<Bytes> reply;
    std::string text;     // short description for the log
    int hops = 0;         // for the reply's travel time
    bool silenced = false;
    bool storeRefused = false;
};

struct Unsolicited {
    Bytes frame;
    std::string text;
    std::string fault;  // the fault it carries, for the counts; empty: none
};

class Network {
public:
    explicit Network(const NetworkConfig& config);

    int size() const { return static_cast<int>(radios.size()); }  // master included
    const Radio& at(int index) const { return radios.at(static_cast<size_t>(index)); }
    Radio& at(int index) { return radios.at(static_cast<size_t>(index)); }
    const Radio& master() const { return radios.front(); }
    Radio* findBySerial(uint32_t serial);
    bool hasSerial(uint32_t serial) const { return bySerial.count(serial) != 0; }
    // The n-th radio (1-based, wrapping) for the by-number poll.
    Radio& byNumber(uint8_t n);

    // Behaviour switches the fault options set.
    std::set<uint32_t> silenced;
    bool ignoreStores = false;
    double shortTrafficSerialsPercent = 0;

    Outcome answer(const Request& request, int64_t nowMs);

    Unsolicited masterStatus(int64_t nowMs, bool busy);
    std::optional<Unsolicited> linkReport(int64_t nowMs);
    std::optional<Unsolicited> trafficReport(int64_t nowMs);
    std::optional<Unsolicited> trace(int64_t nowMs);

    // Radios whose write has waited longer than timeoutMs for its store
    // reset and lose it. Returns a description per reset.
    std::vector<std::string> expirePendingWrites(int64_t nowMs, int64_t timeoutMs);
    int64_t nextPendingDeadline(int64_t timeoutMs) const;  // -1: none

    // The frame a radio sends in answer to a read, with the given value.
    Bytes diagnosticsOf(Radio& r, uint8_t type, uint16_t address, uint8_t value, int64_t nowMs);
    uint16_t reportedDistance(const Radio& r) const;
    std::string describe(const Radio& r) const;

private:
    void build(const NetworkConfig& config);
    void advance(Radio& r, int64_t nowMs);
    uint8_t frequencyCounter(const Radio& r, int64_t nowMs) const;
    Radio* randomSlave();

    std::mt19937 rng;
    std::vector<Radio> radios;
    std::unordered_map<uint32_t, int> bySerial;
    std::vector<int> repeaters;  // radio index of repeater number k at k-1
    uint8_t slot = 0;
    uint8_t masterNibble = 0, slaveNibble = 0;
    uint8_t lastSequence = 0;
};

}  // namespace radiosim
