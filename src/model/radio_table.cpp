#include "model/radio_table.h"

#include <algorithm>

#include "model/derived_values.h"
#include "model/protocol_error.h"

namespace {

// Samples past historyCount were never written (a row grows one sample at a time
// and a full row thins in place), so only the used ones need clearing.
void ClearHistoryRow(HistoryRow& row) {
    const int used = row.historyCount >= 0 && row.historyCount <= kHistorySamples ? row.historyCount : kHistorySamples;
    std::fill_n(row.samples.begin(), used + 1, HistorySample{});
    row.historyCount = 0;
}

int LastRadio(const RadioNetwork& network) {
    return network.radioCount < kMaxRadios ? network.radioCount : kMaxRadios;
}

// Points the serial at a radio slot, first clearing out stale entries when too
// many have gathered.
void Remember(const RadioNetwork& network, uint32_t serial, int slot) {
    if (IndexCrowded(network.serialIndex)) RebuildRadioIndex(network);
    IndexSlot(network.serialIndex, serial, slot);
}

}  // namespace

RadioName MakeRadioName(std::string_view text) {
    RadioName name;
    name.fill(' ');
    size_t keep = std::min(name.size(), text.size());
    // A typed name is UTF-8: a cut through a character drops the whole character.
    if (text.size() > keep && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
        size_t lead = keep;
        while (lead > 0 && keep - lead < 3 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
        if (static_cast<unsigned char>(text[lead]) >= 0xC0) keep = lead;
    }
    for (size_t i = 0; i < keep; ++i) name[i] = text[i];
    return name;
}

std::string NameText(const RadioName& name) { return std::string(name.begin(), name.end()); }

void RebuildRadioIndex(const RadioNetwork& network) {
    RadioIndex& index = network.serialIndex;
    ClearIndex(index);
    const int last = LastRadio(network);
    for (int i = 1; i <= last; ++i) {
        const uint32_t serial = network.radios[static_cast<size_t>(i)].serialNumber;
        if (IndexedSlot(index, serial) == 0) IndexSlot(index, serial, i);
    }
}

int FindRadio(const RadioNetwork& network, uint32_t serial, int from) {
    if (from < 0) from = 0;
    const int last = LastRadio(network);
    if (from > last) return -1;
    if (from == 0 && network.radios[0].serialNumber == serial) return 0;
    const int first = from > 1 ? from : 1;

    // The index names the first radio 1..radioCount with the serial; believe it
    // only when that record really holds the serial.
    const int hit = IndexedSlot(network.serialIndex, serial);
    if (hit >= first && hit <= last && network.radios[static_cast<size_t>(hit)].serialNumber == serial)
        return hit;

    for (int i = first; i <= last; ++i) {
        if (network.radios[static_cast<size_t>(i)].serialNumber != serial) continue;
        // Found by the scan from radio 1: the index was missing or stale.
        if (first == 1) Remember(network, serial, i);
        return i;
    }
    return -1;
}

int AppendRadio(RadioNetwork& network, ProtocolError& errors, uint32_t serial) {
    if (network.radioCount >= kMaxRadios) {
        // No slot beyond 2047: refuse rather than write past the table.
        ++network.refusedAdditions;
        RecordFault(errors, ProtocolFault::RadioTableFull, static_cast<int>(serial / 100000));
        return -1;
    }
    int index = ++network.radioCount;
    // The slot may still hold a deleted or unloaded radio's values; a new radio
    // starts clean so it never shows someone else's measurements or history.
    RadioRecord& radio = network.radios[static_cast<size_t>(index)];
    radio = RadioRecord{};
    radio.serialNumber = serial;
    radio.freqOffsetCode = 128;
    // An append without a search may duplicate a serial: the earlier radio keeps it.
    const int indexed = IndexedSlot(network.serialIndex, serial);
    const bool earlier = indexed >= 1 && indexed < index &&
                         network.radios[static_cast<size_t>(indexed)].serialNumber == serial;
    if (!earlier) Remember(network, serial, index);
    if (index < kHistoryRows) ClearHistoryRow(network.history[static_cast<size_t>(index)]);

    // The list window follows a radio appended just below its last row.
    if (index - 1 == network.lastVisibleRow && network.lastVisibleRow - 39 < network.firstVisibleRow)
        ++network.lastVisibleRow;
    return index;
}

int FindOrAddRadio(RadioNetwork& network, ProtocolError& errors, LiveListener& live, uint32_t serial) {
    int index = FindRadio(network, serial, 0);
    if (index >= 0) {
        KeepRadio(network, index);
        return index;
    }
    index = AppendRadio(network, errors, serial);
    if (index >= 0) live.numberRadios(network.radioCount);
    return index;
}

namespace {

// The provisional radio learnt first, or 0 when none may give way.
int OldestProvisional(const RadioNetwork& network, int keep, int keepToo) {
    int oldest = 0;
    uint32_t order = 0;
    const int last = LastRadio(network);
    for (int i = 1; i <= last; ++i) {
        const uint32_t o = network.radios[static_cast<size_t>(i)].provisionalOrder;
        if (o == 0 || i == keep || i == keepToo || i == network.selectedRadio) continue;
        if (oldest == 0 || o < order) {
            oldest = i;
            order = o;
        }
    }
    return oldest;
}

}  // namespace

int AddRadioFromAir(RadioNetwork& network, ProtocolError& errors, uint32_t serial, int keep, int keepToo) {
    int index = -1;
    if (network.radioCount < kMaxRadios) {
        index = AppendRadio(network, errors, serial);
    } else if (const int slot = OldestProvisional(network, keep, keepToo); slot > 0) {
        // Forget the radio in that slot: its values and history go with it.
        RadioRecord& radio = network.radios[static_cast<size_t>(slot)];
        network.lastForgottenSerial = radio.serialNumber;
        ++network.forgottenRadios;
        radio = RadioRecord{};
        radio.serialNumber = serial;
        radio.freqOffsetCode = 128;
        if (slot < kHistoryRows) ClearHistoryRow(network.history[static_cast<size_t>(slot)]);
        RebuildRadioIndex(network);  // the old serial must no longer lead here
        index = slot;
    } else {
        return AppendRadio(network, errors, serial);  // refused and counted
    }
    if (index < 1) return index;
    // Order numbers only grow; after 4 billion radios they start over, which at
    // worst spares one old radio once.
    if (network.nextProvisionalOrder == 0) network.nextProvisionalOrder = 1;
    network.radios[static_cast<size_t>(index)].provisionalOrder = network.nextProvisionalOrder++;
    return index;
}

void KeepRadio(RadioNetwork& network, int index) {
    if (index < 1 || index > LastRadio(network)) return;
    network.radios[static_cast<size_t>(index)].provisionalOrder = 0;
}

bool DeleteRadio(RadioNetwork& network, uint32_t serial) {
    int index = FindRadio(network, serial, 1);
    if (index < 1) return false;
    int last = network.radioCount;
    for (int k = index; k < last; ++k) {
        network.radios[static_cast<size_t>(k)] = network.radios[static_cast<size_t>(k) + 1];
        if (k < kHistoryRows) {
            // A radio moving down from beyond the history rows arrives with none.
            if (k + 1 < kHistoryRows)
                network.history[static_cast<size_t>(k)] = network.history[static_cast<size_t>(k) + 1];
            else
                ClearHistoryRow(network.history[static_cast<size_t>(k)]);
        }
    }
    // The vacated slot is left clean rather than as a copy of the last radio.
    network.radios[static_cast<size_t>(last)] = RadioRecord{};
    if (last < kHistoryRows) ClearHistoryRow(network.history[static_cast<size_t>(last)]);

    --network.radioCount;
    RebuildRadioIndex(network);  // every later radio has a new index
    if (network.lastVisibleRow > network.radioCount) network.lastVisibleRow = network.radioCount;
    if (network.selectedRadio > network.radioCount) network.selectedRadio = network.radioCount;
    return true;
}

int LocateRadio(const RadioNetwork& network, uint32_t serial) { return FindRadio(network, serial, 0); }

void ResetDisconnectCounts(RadioNetwork& network) {
    for (RadioRecord& radio : network.radios) radio.disconnectCount = 0;
}

void ResetMeasurements(RadioNetwork& network, LogState& log, const Clock* clock) {
    log.lastLogMinute = 0;
    network.master.dataBytesTotal = 0;
    network.master.dataRateAccumulator = 0;
    if (clock) {
        LocalTime now = clock->now();
        network.runStartSeconds = SecondsClock(now);
        network.runStartTime = TimeText(now);
        network.runStartDate = DateText(now);
    }
    for (RadioRecord& radio : network.radios) {
        radio.distanceRaw = 0;
        radio.lastFreqReading = 0;
        radio.freqOffsetCode = 0;
        radio.signalLevel = 0;
        radio.noiseLevel = 0;
        radio.goodPacketsRaw = 0;
        radio.hopRepeater.fill(0);
        radio.hopSignalRaw.fill(0);
        radio.hopSignalAvg.fill(0);
        radio.pollScore = 0;
        radio.replyCount = 0;
        radio.lineStatus = 0;
        radio.disconnectCount = 0;
        radio.temperatureRaw = 0;
        radio.voltageRaw = 0;
        radio.lastReplySeconds = 0;
        radio.dataBytes = 0;
        radio.revision = 0;
        radio.eepromValue.fill(0);
        radio.eepromValid.fill(0);
    }
    for (HistoryRow& row : network.history) ClearHistoryRow(row);
    network.firstVisibleRow = 1;
}

void NewNetworkReset(RadioNetwork& network, PollState& poll, RequestFrame& request, LogState& log, const Clock* clock) {
    network.networkFileName = "NONAME.RAD";
    for (RadioRecord& radio : network.radios) {
        radio.serialNumber = 0;
        radio.repeaterNumber = 0;
        radio.name = MakeRadioName("NewRadio");
        radio.provisionalOrder = 0;
    }
    network.radioCount = 0;
    ClearIndex(network.serialIndex);
    network.repeaterCount = 0;
    network.firstVisibleRow = 0;
    network.lastVisibleRow = 0;
    // No radio is left to select but the master.
    network.selectedRadio = 0;
    network.lastMasterSequence = 0;
    network.lastSlaveSequence = 0;

    poll.pollMode = PollPhase::polling(PollOrder::random);
    poll.randomNumber = 0;
    poll.requestState = 8;
    poll.currentRadio = 0;
    poll.sweepCount = 0;
    request.bytes.fill(0);

    // Clears the log minute, the master total and the run start, and sets
    // firstVisibleRow to 1.
    ResetMeasurements(network, log, clock);
}
