#include <algorithm>

#include "app/program.h"
#include "network/derived_values.h"
#include "poll/decoders.h"
#include "poll/protocol.h"
#include "poll/protocol_error.h"
#include "setup/setup_table.h"

namespace {

// The master's history sample: its own levels, the data rate since its last
// sample and the good-packet share of the sample being closed.
void MasterHistorySample(Program& program, const LocalTime& now) {
    RadioNetwork& network = program.network;
    MasterStatus& master = network.master;
    const HistorySample* open = OpenSample(network, 0);
    int64_t clockNow = SecondsClock(now);
    int64_t elapsed = clockNow - network.runStartSeconds;
    int64_t since = elapsed - (open ? open->time : 0);
    if (since <= 0) since = 1;
    int64_t good = open ? std::max<int64_t>(open->goodCount, 0) : 0;
    int64_t bad = open ? std::max<int64_t>(open->badCount, 0) : 0;
    HistorySample sample;
    sample.signal = uint8_t(std::clamp<int64_t>(master.dataRateAccumulator / since / 100, 0, 255));
    sample.noise = uint8_t(master.noiseLevel);
    sample.goodPackets = uint8_t(std::clamp<int64_t>(255 * good / (good + bad + 1), 0, 255));
    sample.temperatureRaw = uint8_t(master.temperatureRaw);
    sample.voltageRaw = uint8_t(master.voltageRaw);
    sample.freqCode = 128;
    if (HistoryAppend(network, 0, sample, clockNow, 5)) master.dataRateAccumulator = 0;
}

}  // namespace

void DecodeMasterStatus(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (check != 0) {
        RecordError(program.errors, 20, check);
        return;
    }
    RadioNetwork& network = program.network;
    MasterStatus& master = network.master;
    LocalTime now = program.clock->now();

    uint32_t serial = Serial24(frame, 1);
    master.serialNumber = int32_t(serial);
    network.radios[0].serialNumber = serial;
    network.radios[0].name = MakeRadioName("MASTER");

    // Note the byte order of the data count: 8, 5, 6.
    int32_t dataCount = frame[8] * 65536 + frame[5] * 256 + frame[6];
    AddWrapping(master.dataBytesTotal, dataCount);
    if (HistorySample* open = OpenSample(network, 0)) AddWrapping(open->dataBytes, dataCount);

    program.poll.masterBusy = frame[7] & 0x80;
    master.noiseLevel = (frame[7] & 0x7F) - 16;
    master.temperatureRaw = frame[10];
    master.voltageRaw = frame[11];
    master.revision = frame[12];
    master.timeReceived = TimeText(now);

    MasterHistorySample(program, now);

    int screen = program.display.screenNumber;
    if ((screen == 3 || screen == 4) && network.selectedRadio == 0) program.poll.repaintRequested = true;
    if (screen == 0 || screen == 1) LiveOf(program).masterRow();
    LiveOf(program).statusSlot(frame[4]);

    if (program.link.linkKind == kLinkTcp) OnMasterStatusFrame(program);
}

void DecodeMasterEeprom(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    // A bad echo, or one from another radio, is dropped without a record.
    if (check != 0) return;
    if (Serial24(frame, 1) != uint32_t(program.network.master.serialNumber)) return;
    int address = frame[4] * 256 + frame[5];
    int offset = address - kEepromBase;
    int value = frame[6];
    int row;
    if (frame[0] == 0xF2) {
        row = storeSetupValue(program, 0, address, uint8_t(value), 3);
        if (row >= 0) ReadConfirmation(program, 0, offset);
    } else {
        row = RowOfAddress(program.setup, address);
        WriteConfirmation(program, 0, offset, value);
    }
    if (program.display.screenNumber == 2 && program.network.selectedRadio == 0) {
        if (row >= 0) LiveOf(program).statusUpdate(row);
        program.poll.repaintRequested = true;
    }
}
