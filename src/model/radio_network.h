#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "model/radio_index.h"

constexpr int kRadioSlots = 2048;     // slot 0 is the master
constexpr int kMaxRadios = 2047;      // radios live in slots 1..radioCount
constexpr int kHopSlots = 8;          // hops 0..3 are used
constexpr int kParamSlots = 41;       // setup parameter cache per radio
constexpr int kHistoryRows = 1024;    // radios 0..1023 keep history
constexpr int kHistorySamples = 511;  // samples 1..511; index 0 holds none

// Fixed 8-character, blank-padded radio name.
using RadioName = std::array<char, 8>;
RadioName MakeRadioName(std::string_view text);  // cut or blank-padded to 8
std::string NameText(const RadioName& name);

struct RadioRecord {
    uint32_t serialNumber = 0;
    RadioName name{'N', 'e', 'w', 'R', 'a', 'd', 'i', 'o'};
    uint8_t repeaterNumber = 0;
    uint8_t revision = 0;
    uint8_t temperatureRaw = 0;
    uint8_t voltageRaw = 0;
    uint8_t lineStatus = 0;
    uint8_t signalLevel = 0;
    uint8_t noiseLevel = 0;
    uint8_t goodPacketsRaw = 0;
    uint8_t freqOffsetCode = 0;
    uint8_t lastFreqReading = 0;
    int32_t dataBytes = 0;
    int32_t distanceRaw = 0;
    uint8_t disconnectCount = 0;
    std::array<uint8_t, kHopSlots> hopRepeater{};
    std::array<uint8_t, kHopSlots> hopSignalRaw{};
    std::array<uint16_t, kHopSlots> hopSignalAvg{};
    uint16_t pollScore = 0;
    int32_t replyCount = 0;
    float lastReplySeconds = 0;
    std::array<char, 8> timeReceived{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    std::array<uint8_t, kParamSlots> eepromValue{};
    std::array<uint8_t, kParamSlots> eepromValid{};
    // Learnt from the air and never yet answered its own poll: the order in which
    // such radios were learnt (1 the first), or 0 for a radio that stays for good
    // (from the network file, typed in, or one that has answered when polled).
    uint32_t provisionalOrder = 0;
};

struct MasterStatus {
    int32_t serialNumber = 0;
    int32_t noiseLevel = 0;
    int32_t temperatureRaw = 0;
    int32_t voltageRaw = 0;
    int32_t revision = 0;
    std::string timeReceived;  // hh:mm:ss
    int32_t dataBytesTotal = 0;
    int32_t dataRateAccumulator = 0;  // bytes since the master's last history sample
};

struct HistorySample {
    int32_t time = 0;  // seconds clock minus runStartSeconds
    uint8_t signal = 0;
    uint8_t noise = 0;
    uint8_t goodPackets = 0;
    uint8_t temperatureRaw = 0;
    uint8_t voltageRaw = 0;
    uint8_t freqCode = 0;
    int32_t dataBytes = 0;
    int32_t goodCount = 0;
    int32_t badCount = 0;
};

struct HistoryRow {
    int32_t historyCount = 0;
    std::array<HistorySample, kHistorySamples + 1> samples{};  // [0] unused
};

struct RadioNetwork {
    std::array<RadioRecord, kRadioSlots> radios{};
    MasterStatus master;
    std::array<HistoryRow, kHistoryRows> history{};

    int32_t radioCount = 0;
    int32_t repeaterCount = 0;
    int32_t firstVisibleRow = 1;
    int32_t lastVisibleRow = 0;
    int32_t selectedRadio = 0;
    int64_t runStartSeconds = 0;
    std::string runStartTime;  // hh:mm:ss
    std::string runStartDate;  // mm-dd-yyyy
    std::string networkFileName = "NONAME.RAD";

    // Last report byte 5 seen for the master's and the slave's sequence nibble.
    uint8_t lastMasterSequence = 0;
    uint8_t lastSlaveSequence = 0;
    // Number of additions refused because the table was full.
    int32_t refusedAdditions = 0;
    // Provisional radios forgotten to make room for a newcomer, the last of them,
    // and the order number the next provisional radio gets.
    int64_t forgottenRadios = 0;
    uint32_t lastForgottenSerial = 0;
    uint32_t nextProvisionalOrder = 1;
    // Lookup cache for FindRadio, kept by the table operations. Code that writes a
    // serial number straight into radios[1..] calls RebuildRadioIndex afterwards
    // (FindRadio checks every answer, but only a rebuild sees a new duplicate
    // placed below an indexed radio).
    mutable RadioIndex serialIndex;
};
