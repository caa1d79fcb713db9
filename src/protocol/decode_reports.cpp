#include "model/radio_network.h"
#include "platform/clock.h"
#include "platform/ids.h"
#include "platform/live_listener.h"
#include "protocol/decoders.h"

namespace {

uint32_t MasterSerial(const DecodeContext& context) { return uint32_t(context.network.master.serialNumber); }

void ShowReport(DecodeContext& context, int radio, int noise) {
    int screen = context.screenNumber;
    if (screen != screen::screen0 && screen != screen::screen1) return;
    context.live.reportNoise(noise);
    if (RowShownLive(context, radio)) context.live.reportFields(radio);
}

}  // namespace

void ApplyLinkReport(DecodeContext& context, const LinkReportFrame& frame) {
    if (!frame.ok()) return;  // dropped without a record
    RadioNetwork& network = context.network;
    // A short serial before the master's status would add a radio that is not there.
    std::optional<uint32_t> serial = LinkReportSerial(frame, MasterSerial(context));
    if (!serial) return;
    int r = FindOrAppendReported(context, *serial);
    if (r < 1) return;
    RadioRecord& radio = network.radios[size_t(r)];
    radio.timeReceived = TimeField(context.clock.now());
    radio.distanceRaw = frame.distanceRaw;

    // Each nibble of the sequence numbers its count; a repeated report adds nothing.
    if (((network.lastMasterSequence ^ frame.sequence) & 0xF0) != 0) {
        network.lastMasterSequence = frame.sequence;
        AddWrapping(network.master.dataBytesTotal, frame.masterBytes);
    }
    if (((network.lastSlaveSequence ^ frame.sequence) & 0x0F) != 0) {
        network.lastSlaveSequence = frame.sequence;
        AddWrapping(radio.dataBytes, frame.slaveBytes);
    }
    ShowReport(context, r, frame.noise);
}

void ApplyTrafficReport(DecodeContext& context, const TrafficReportFrame& frame) {
    if (!frame.ok()) {
        RecordFault(context.errors, ProtocolFault::TrafficReportBadCheck, frame.check);
        return;
    }
    RadioNetwork& network = context.network;
    std::optional<uint32_t> serial = TrafficReportSerial(frame, MasterSerial(context));
    if (!serial) {
        RecordFault(context.errors, ProtocolFault::TrafficSerialTooLow, int(frame.serial & 0xFF));
        return;
    }
    int r = FindOrAppendReported(context, *serial);
    if (r < 1) return;
    RadioRecord& radio = network.radios[size_t(r)];
    radio.timeReceived = TimeField(context.clock.now());
    radio.distanceRaw = frame.distanceRaw;

    AddWrapping(radio.dataBytes, frame.dataBytes);
    AddWrapping(network.master.dataRateAccumulator, frame.dataBytes);

    // Counts go into the open samples; radios from 1024 on keep no history.
    if (HistorySample* open = OpenSample(network, r)) {
        AddWrapping(open->dataBytes, frame.dataBytes);
        AddWrapping(open->goodCount, frame.good);
        AddWrapping(open->badCount, frame.bad);
        if (HistorySample* masterOpen = OpenSample(network, 0)) {
            AddWrapping(masterOpen->goodCount, frame.good);
            AddWrapping(masterOpen->badCount, frame.bad);
        }
    }
    ShowReport(context, r, frame.noise);
    if (context.screenNumber == screen::graphics3 && r == network.selectedRadio) context.live.graphicsLiveValue(frame.bad, frame.good);
}
