#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/program.h"
#include "network/derived_values.h"
#include "network/radio_table.h"
#include "poll/decoders.h"
#include "poll/protocol.h"
#include "poll/protocol_error.h"
#include "setup/setup_table.h"

namespace {

constexpr int kStoredHops = 4;  // Rep1..Rep4
constexpr uint32_t kLowestRepeaterSerial = 2000000;
constexpr uint32_t kHighestRepeaterSerial = 9150000;

// Smooths a hop's signal (scaled by 256); the first reading sets it outright.
void AverageHopSignal(RadioRecord& radio, int slot, int signal) {
    long average;
    if (radio.hopSignalRaw[slot] != 0) {
        average = std::lround(0.875 * radio.hopSignalAvg[slot] + 32.0 * signal);
    } else {
        average = 256L * signal;
    }
    radio.hopSignalAvg[slot] = uint16_t(average);
    radio.hopSignalRaw[slot] = uint8_t(signal);
}

void ClearHop(RadioRecord& radio, int slot) {
    radio.hopRepeater[slot] = 0;
    radio.hopSignalRaw[slot] = 0;
    radio.hopSignalAvg[slot] = 0;
}

// The repeaters on the path: each hop radio gets a repeater number on first
// sight; a hop with a serial no radio can have is recorded and leaves its slot
// as it was.
void StoreHops(Program& program, int r, std::span<const uint8_t> frame, int hops) {
    RadioNetwork& network = program.network;
    int stored = std::min(hops, kStoredHops);
    for (int k = 1; k <= stored; ++k) {
        int at = 18 + 6 * (k - 1);
        uint32_t hopSerial = Serial24(frame, at);
        if (hopSerial < kLowestRepeaterSerial || hopSerial > kHighestRepeaterSerial) {
            RecordError(program.errors, 4, int(hopSerial / 100000));
            continue;
        }
        int h = FindRadio(network, hopSerial, 1);
        if (h < 1) h = AppendRadio(program, hopSerial);
        if (h < 1) continue;  // table full: nothing to point at
        RadioRecord& hop = network.radios[h];
        if (hop.repeaterNumber == 0 && network.repeaterCount < 255) {
            network.repeaterCount += 1;
            hop.repeaterNumber = uint8_t(network.repeaterCount);
            if (RowShownLive(program, h)) LiveOf(program).radioRow(h);
        }
        RadioRecord& radio = network.radios[r];
        radio.hopRepeater[k - 1] = hop.repeaterNumber;
        AverageHopSignal(radio, k - 1, frame[at + 3] - 16);
    }
    RadioRecord& radio = network.radios[r];
    if (hops == 0) {
        // No repeater on the path: slot 0 holds the direct link.
        radio.hopRepeater[0] = 0;
        AverageHopSignal(radio, 0, frame[3] - 16);
        for (int slot = 1; slot < kStoredHops; ++slot) ClearHop(radio, slot);
    } else {
        for (int slot = stored; slot < kStoredHops; ++slot) ClearHop(radio, slot);
    }
}

void EstimateFrequency(RadioRecord& radio, int reading, double elapsed) {
    int diff = reading - radio.lastFreqReading;
    radio.replyCount += 1;
    if (radio.replyCount == 1) {
        radio.freqOffsetCode = 128;
    } else if (std::abs(diff) < 128 && elapsed > 0) {
        // Two replies within one clock step give no drift estimate: skip it.
        double rate = 69.444 * diff / 25.6 / elapsed;
        double code = std::round((3.0 * radio.freqOffsetCode + rate + 128.0) / 4.0);
        radio.freqOffsetCode = uint8_t(std::clamp(code, 0.0, 255.0));
    }
    radio.lastFreqReading = uint8_t(reading);
}

}  // namespace

void DecodeDiagnostics(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (check != 0) {
        RecordError(program.errors, 22, check);
        return;
    }
    RadioNetwork& network = program.network;
    int hops = int(frame.size() - 21) / 6;  // hop records present in the frame
    int address = frame[1] * 256 + frame[2];
    int offset = address - kEepromBase;
    uint32_t serial = Serial24(frame, 4);

    int r = FindRadio(network, serial, 1);
    if (r < 1) {
        r = AppendRadio(program, serial);
        if (r < 1) return;  // table full: the refusal is recorded, the reply dropped
        RadioRecord& added = network.radios[r];
        added.name = MakeRadioName("NewRadio");
        added.pollScore = 10000;
        added.freqOffsetCode = 128;
        LiveOf(program).numberRadios(network.radioCount);
        size_t dump = std::min<size_t>(18, frame.size() - 4);
        LiveOf(program).replyDump(frame.subspan(4, dump));
    } else {
        uint16_t& score = network.radios[r].pollScore;
        if (score == 0 || score > 10000) {
            score = 10000;
        } else if (score < 10000) {
            score += 200;
        }
    }
    RadioRecord& radio = network.radios[r];

    LocalTime now = program.clock->now();
    radio.timeReceived = TimeField(TimeText(now));
    float nowSeconds = float(SecondsOfDay(now));
    double elapsed = double(nowSeconds) - double(radio.lastReplySeconds);
    if (elapsed < 0) elapsed += 86400;
    radio.lastReplySeconds = nowSeconds;

    int value = frame[16];
    int row;
    if (frame[0] == 0xF8) {
        row = storeSetupValue(program, r, address, uint8_t(value), 8);
        if (row >= 0) ReadConfirmation(program, r, offset);
    } else {
        row = RowOfAddress(program.setup, address);
        WriteConfirmation(program, r, offset, value);
    }

    StoreHops(program, r, frame, hops);
    radio.distanceRaw = hops == 0 ? DistanceFromWord(frame[18], frame[19]) : DistanceFromWord(frame[22], frame[23]);

    radio.signalLevel = uint8_t(frame[9] - 16);
    radio.noiseLevel = uint8_t(frame[10] - 16);
    radio.goodPacketsRaw = frame[8];
    radio.temperatureRaw = frame[13];
    radio.voltageRaw = frame[14];
    radio.revision = frame[17];

    int disconnects = (frame[11] & 15) - (radio.lineStatus & 15);
    if (disconnects < 0) disconnects += 16;
    radio.disconnectCount = uint8_t(radio.disconnectCount + disconnects);
    radio.lineStatus = frame[11];

    EstimateFrequency(radio, frame[15], elapsed);

    HistorySample sample;
    sample.signal = radio.signalLevel;
    sample.noise = radio.noiseLevel;
    sample.goodPackets = radio.goodPacketsRaw;
    sample.temperatureRaw = radio.temperatureRaw;
    sample.voltageRaw = radio.voltageRaw;
    sample.freqCode = radio.freqOffsetCode;
    HistoryAppend(network, r, sample, SecondsClock(now), 2);

    int screen = program.display.screenNumber;
    bool selected = r == network.selectedRadio;
    if (screen == 2 && selected) {
        if (row >= 0) LiveOf(program).statusUpdate(row);
        program.poll.repaintRequested = true;
    }
    if ((screen == 3 || screen == 4) && selected) program.poll.repaintRequested = true;
    if (RowShownLive(program, r)) LiveOf(program).radioRow(r);
}

void DecodeTrace(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (check != 0) {
        RecordError(program.errors, 32, check);
        return;
    }
    int& row = program.poll.traceRow;
    if (row < 0 || row > 29) row = 0;
    LiveOf(program).traceRow(row, frame);
    row = row == 29 ? 10 : row + 1;
}
