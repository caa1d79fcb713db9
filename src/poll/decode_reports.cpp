#include "app/program.h"
#include "network/derived_values.h"
#include "poll/decoders.h"
#include "poll/protocol_error.h"

namespace {

uint32_t MasterTopBits(const Program& program) {
    return uint32_t(program.network.master.serialNumber) & 0xF00000u;
}

void ShowReport(Program& program, int radio, int noiseByte) {
    int screen = program.display.screenNumber;
    if (screen != 0 && screen != 1) return;
    LiveOf(program).reportNoise(noiseByte - 16);
    if (RowShownLive(program, radio)) LiveOf(program).reportFields(radio);
}

}  // namespace

void DecodeLinkReport(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (check != 0) return;  // dropped without a record
    RadioNetwork& network = program.network;
    uint32_t serial = Serial24(frame, 1);
    if (frame[0] == 0xF4) serial += MasterTopBits(program);  // 20-bit serial on the air
    int r = FindOrAppendReported(program, serial);
    if (r < 1) return;
    RadioRecord& radio = network.radios[r];
    radio.timeReceived = TimeField(TimeText(program.clock->now()));
    radio.distanceRaw = DistanceFromWord(frame[9], frame[10]);

    // Each nibble of byte 5 numbers its count; a repeated report adds nothing.
    uint8_t sequence = frame[5];
    if (((network.lastMasterSequence ^ sequence) & 0xF0) != 0) {
        network.lastMasterSequence = sequence;
        AddWrapping(network.master.dataBytesTotal, frame[6]);
    }
    if (((network.lastSlaveSequence ^ sequence) & 0x0F) != 0) {
        network.lastSlaveSequence = sequence;
        AddWrapping(radio.dataBytes, frame[7]);
    }
    ShowReport(program, r, frame[8]);
}

void DecodeTrafficReport(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (check != 0) {
        RecordError(program.errors, 21, check);
        return;
    }
    RadioNetwork& network = program.network;
    uint32_t serial = Serial24(frame, 1);
    if (serial < 0x10000) {
        RecordError(program.errors, 32, frame[3]);
        return;
    }
    if (serial < 0x100000) serial += MasterTopBits(program);
    int r = FindOrAppendReported(program, serial);
    if (r < 1) return;
    RadioRecord& radio = network.radios[r];
    radio.timeReceived = TimeField(TimeText(program.clock->now()));
    radio.distanceRaw = DistanceFromWord(frame[9], frame[10]);

    int data = frame[4] * 256 + frame[5];
    int bad = frame[6];
    int good = frame[7];
    AddWrapping(radio.dataBytes, data);
    AddWrapping(network.master.dataRateAccumulator, data);

    // Counts go into the open samples; radios from 1024 on keep no history.
    if (HistorySample* open = OpenSample(network, r)) {
        AddWrapping(open->dataBytes, data);
        AddWrapping(open->goodCount, good);
        AddWrapping(open->badCount, bad);
        if (HistorySample* masterOpen = OpenSample(network, 0)) {
            AddWrapping(masterOpen->goodCount, good);
            AddWrapping(masterOpen->badCount, bad);
        }
    }
    ShowReport(program, r, frame[8]);
    if (program.display.screenNumber == 3 && r == network.selectedRadio) {
        LiveOf(program).graphicsLiveValue(bad, good);
    }
}
