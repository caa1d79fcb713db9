#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/derived_values.h"
#include "model/poll_state.h"
#include "model/protocol_error.h"
#include "model/radio_table.h"
#include "model/setup_table.h"
#include "platform/ids.h"
#include "platform/live_listener.h"
#include "protocol/decoders.h"
#include "protocol/protocol.h"

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
void StoreHops(DecodeContext& context, int r, const DiagnosticsFrame& frame) {
    RadioNetwork& network = context.network;
    int stored = std::min(frame.hops, kStoredHops);
    for (int k = 1; k <= stored; ++k) {
        HopRecord record = frame.hop(k - 1);
        if (record.serial < kLowestRepeaterSerial || record.serial > kHighestRepeaterSerial) {
            RecordFault(context.errors, ProtocolFault::HopSerialOutOfRange, int(record.serial / 100000));
            continue;
        }
        int h = FindRadio(network, record.serial, 1);
        if (h < 1) h = context.hooks.appendRadio(record.serial, r);
        if (h < 1) continue;  // table full: nothing to point at
        RadioRecord& hop = network.radios[size_t(h)];
        if (hop.repeaterNumber == 0 && network.repeaterCount < 255) {
            network.repeaterCount += 1;
            hop.repeaterNumber = uint8_t(network.repeaterCount);
            if (RowShownLive(context, h)) context.live.radioRow(h);
        }
        RadioRecord& radio = network.radios[size_t(r)];
        radio.hopRepeater[size_t(k - 1)] = hop.repeaterNumber;
        AverageHopSignal(radio, k - 1, record.signal);
    }
    RadioRecord& radio = network.radios[size_t(r)];
    if (frame.hops == 0) {
        // No repeater on the path: slot 0 holds the direct link.
        radio.hopRepeater[0] = 0;
        AverageHopSignal(radio, 0, frame.linkSignal);
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

void ApplyDiagnostics(DecodeContext& context, const DiagnosticsFrame& frame) {
    if (!frame.ok()) {
        RecordFault(context.errors, ProtocolFault::DiagnosticsBadCheck, frame.check);
        return;
    }
    RadioNetwork& network = context.network;
    int offset = frame.address - kEepromBase;

    int r = FindRadio(network, frame.serial, 1);
    if (r < 1) {
        r = context.hooks.appendRadio(frame.serial, -1);
        if (r < 1) return;  // table full: the refusal is recorded, the reply dropped
        RadioRecord& added = network.radios[size_t(r)];
        added.name = MakeRadioName("NewRadio");
        added.pollScore = 10000;
        added.freqOffsetCode = 128;
        context.live.numberRadios(network.radioCount);
        // The frame from byte 4 on: 18 bytes, or what there is.
        std::span<const uint8_t> bytes = frame.bytes;
        size_t dump = std::min<size_t>(18, bytes.size() - 4);
        context.live.replyDump(bytes.subspan(4, dump));
    } else {
        // A radio that answers a poll of its own serial is real: it stays for good.
        if (PolledRecently(context.poll, frame.serial)) KeepRadio(network, r);
        uint16_t& score = network.radios[size_t(r)].pollScore;
        if (score == 0 || score > 10000) {
            score = 10000;
        } else if (score < 10000) {
            score += 200;
        }
    }
    RadioRecord& radio = network.radios[size_t(r)];

    LocalTime now = context.clock.now();
    radio.timeReceived = TimeField(now);
    float nowSeconds = float(SecondsOfDay(now));
    double elapsed = double(nowSeconds) - double(radio.lastReplySeconds);
    if (elapsed < 0) elapsed += 86400;
    radio.lastReplySeconds = nowSeconds;

    int row;
    if (!frame.write) {
        row = context.hooks.storeSetupValue(r, frame.address, frame.value, ProtocolFault::ReplyUnknownAddress);
        if (row >= 0) context.hooks.readConfirmation(r, offset);
    } else {
        row = RowOfAddress(context.setup, frame.address);
        context.hooks.writeConfirmation(r, offset, frame.value);
    }

    StoreHops(context, r, frame);
    radio.distanceRaw = frame.distanceRaw;

    radio.signalLevel = uint8_t(frame.signal);
    radio.noiseLevel = uint8_t(frame.noise);
    radio.goodPacketsRaw = frame.goodPacketsRaw;
    radio.temperatureRaw = frame.temperatureRaw;
    radio.voltageRaw = frame.voltageRaw;
    radio.revision = frame.revision;

    int disconnects = (frame.lineStatus & 15) - (radio.lineStatus & 15);
    if (disconnects < 0) disconnects += 16;
    radio.disconnectCount = uint8_t(radio.disconnectCount + disconnects);
    radio.lineStatus = frame.lineStatus;

    EstimateFrequency(radio, frame.freq, elapsed);

    HistorySample sample;
    sample.signal = radio.signalLevel;
    sample.noise = radio.noiseLevel;
    sample.goodPackets = radio.goodPacketsRaw;
    sample.temperatureRaw = radio.temperatureRaw;
    sample.voltageRaw = radio.voltageRaw;
    sample.freqCode = radio.freqOffsetCode;
    HistoryAppend(network, r, sample, SecondsClock(now), 2);

    int screen = context.screenNumber;
    bool selected = r == network.selectedRadio;
    if (screen == screen::screen2 && selected) {
        if (row >= 0) context.live.statusUpdate(row);
        context.poll.repaintRequested = true;
    }
    if ((screen == screen::graphics3 || screen == screen::graphics4) && selected) context.poll.repaintRequested = true;
    if (RowShownLive(context, r)) context.live.radioRow(r);
}

void ApplyTrace(DecodeContext& context, const TraceFrame& frame) {
    if (!frame.ok()) {
        RecordFault(context.errors, ProtocolFault::TraceBadCheck, frame.check);
        return;
    }
    int& row = context.poll.traceRow;
    if (row < 0 || row > 29) row = 0;
    context.live.traceRow(row, frame.bytes);
    row = row == 29 ? 10 : row + 1;
}
