#include <algorithm>

#include "model/derived_values.h"
#include "model/poll_state.h"
#include "model/radio_network.h"
#include "model/setup_table.h"
#include "platform/ids.h"
#include "platform/live_listener.h"
#include "protocol/decoders.h"
#include "protocol/protocol.h"

namespace {

// The master's history sample: its own levels, the data rate since its last
// sample and the good-packet share of the sample being closed.
void MasterHistorySample(RadioNetwork& network, const LocalTime& now) {
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

void ApplyMasterStatus(DecodeContext& context, const MasterStatusFrame& frame) {
    if (!frame.ok()) {
        RecordFault(context.errors, ProtocolFault::MasterStatusBadCheck, frame.check);
        return;
    }
    RadioNetwork& network = context.network;
    MasterStatus& master = network.master;
    LocalTime now = context.clock.now();

    master.serialNumber = int32_t(frame.serial);
    network.radios[0].serialNumber = frame.serial;
    network.radios[0].name = MakeRadioName("MASTER");

    AddWrapping(master.dataBytesTotal, frame.dataCount);
    if (HistorySample* open = OpenSample(network, 0)) AddWrapping(open->dataBytes, frame.dataCount);

    context.poll.masterBusy = frame.busy ? 0x80 : 0;
    master.noiseLevel = frame.noise;
    master.temperatureRaw = frame.temperatureRaw;
    master.voltageRaw = frame.voltageRaw;
    master.revision = frame.revision;
    master.timeReceived = TimeText(now);

    MasterHistorySample(network, now);

    int screen = context.screenNumber;
    if ((screen == screen::graphics3 || screen == screen::graphics4) && network.selectedRadio == 0) context.poll.repaintRequested = true;
    if (screen == screen::screen0 || screen == screen::screen1) context.live.masterRow();
    context.live.statusSlot(frame.slot);

    context.hooks.masterStatus();
}

void ApplyMemoryEcho(DecodeContext& context, const MemoryEchoFrame& frame) {
    // A bad echo, or one from another radio, is dropped without a record.
    if (!frame.ok()) return;
    if (frame.serial != uint32_t(context.network.master.serialNumber)) return;
    int offset = frame.address - kEepromBase;
    int row;
    if (!frame.write) {
        row = context.hooks.storeSetupValue(0, frame.address, frame.value, ProtocolFault::MasterEchoUnknownAddress);
        if (row >= 0) context.hooks.readConfirmation(0, offset);
    } else {
        row = RowOfAddress(context.setup, frame.address);
        context.hooks.writeConfirmation(0, offset, frame.value);
    }
    if (context.screenNumber == screen::screen2 && context.network.selectedRadio == 0) {
        if (row >= 0) context.live.statusUpdate(row);
        context.poll.repaintRequested = true;
    }
}
