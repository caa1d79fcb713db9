#include "app/program.h"
#include "network/radio_table.h"
#include "poll/decoders.h"

void DecodeReply(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    if (frame.empty()) return;
    switch (frame[0]) {
        case 0xF0: DecodeMasterStatus(program, frame, check); break;
        case 0xF1:
        case 0xF4: DecodeLinkReport(program, frame, check); break;
        case 0xF5: DecodeTrafficReport(program, frame, check); break;
        case 0xF2:
        case 0xF3: DecodeMasterEeprom(program, frame, check); break;
        case 0xF8:
        case 0xF9: DecodeDiagnostics(program, frame, check); break;
        case 0xFB: DecodeTrace(program, frame, check); break;
        default: break;
    }
}

std::array<char, 8> TimeField(const std::string& hhmmss) {
    std::array<char, 8> field{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    for (size_t i = 0; i < field.size() && i < hhmmss.size(); ++i) field[i] = hhmmss[i];
    return field;
}

bool RowShownLive(const Program& program, int radio) {
    int screen = program.display.screenNumber;
    if (screen != 0 && screen != 1) return false;
    return radio >= program.network.firstVisibleRow && radio <= program.network.lastVisibleRow;
}

int FindOrAppendReported(Program& program, uint32_t serial) {
    RadioNetwork& network = program.network;
    int r = FindRadio(network, serial, 1);  // slot 0 is never matched by a reply
    if (r >= 1) return r;
    r = AppendRadio(program, serial);
    if (r < 1) return -1;  // the table is full: the refusal is already recorded
    network.radios[r].name = MakeRadioName("NewRadio");
    LiveOf(program).numberRadios(network.radioCount);
    return r;
}

HistorySample* OpenSample(RadioNetwork& network, int row) {
    if (row < 0 || row >= kHistoryRows) return nullptr;
    int count = network.history[row].historyCount;
    if (count < 1 || count > kHistorySamples) return nullptr;
    return &network.history[row].samples[count];
}

LiveListener& LiveOf(Program& program) {
    static LiveListener quiet;
    return program.live ? *program.live : quiet;
}
