#include "network/radio_network.h"
#include "network/radio_table.h"
#include "poll/decoders.h"
#include "poll/live_listener.h"

std::array<char, 8> TimeField(const std::string& hhmmss) {
    std::array<char, 8> field{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    for (size_t i = 0; i < field.size() && i < hhmmss.size(); ++i) field[i] = hhmmss[i];
    return field;
}

bool RowShownLive(const DecodeContext& context, int radio) {
    int screen = context.screenNumber;
    if (screen != 0 && screen != 1) return false;
    return radio >= context.network.firstVisibleRow && radio <= context.network.lastVisibleRow;
}

int FindOrAppendReported(DecodeContext& context, uint32_t serial) {
    RadioNetwork& network = context.network;
    int r = FindRadio(network, serial, 1);  // slot 0 is never matched by a reply
    if (r >= 1) return r;
    r = context.hooks.appendRadio(serial);
    if (r < 1) return -1;  // the table is full: the refusal is already recorded
    network.radios[size_t(r)].name = MakeRadioName("NewRadio");
    context.live.numberRadios(network.radioCount);
    return r;
}

HistorySample* OpenSample(RadioNetwork& network, int row) {
    if (row < 0 || row >= kHistoryRows) return nullptr;
    int count = network.history[row].historyCount;
    if (count < 1 || count > kHistorySamples) return nullptr;
    return &network.history[row].samples[count];
}
