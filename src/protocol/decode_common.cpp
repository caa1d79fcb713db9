#include "model/radio_network.h"
#include "model/radio_table.h"
#include "platform/clock.h"
#include "platform/ids.h"
#include "platform/live_listener.h"
#include "protocol/decoders.h"

std::array<char, 8> TimeField(const LocalTime& time) {
    std::array<char, 8> field{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    if (time.hour < 0 || time.minute < 0 || time.second < 0) {
        // Not a time of day; keep whatever the text form makes of it.
        std::string text = TimeText(time);
        for (size_t i = 0; i < field.size() && i < text.size(); ++i) field[i] = text[i];
        return field;
    }
    auto put = [&field](size_t at, int value) {
        value %= 100;
        field[at] = char('0' + value / 10);
        field[at + 1] = char('0' + value % 10);
    };
    put(0, time.hour);
    field[2] = ':';
    put(3, time.minute);
    field[5] = ':';
    put(6, time.second);
    return field;
}

bool RowShownLive(const DecodeContext& context, int radio) {
    int screen = context.screenNumber;
    if (screen != screen::screen0 && screen != screen::screen1) return false;
    return radio >= context.network.firstVisibleRow && radio <= context.network.lastVisibleRow;
}

int FindOrAppendReported(DecodeContext& context, uint32_t serial) {
    RadioNetwork& network = context.network;
    int r = FindRadio(network, serial, 1);  // slot 0 is never matched by a reply
    if (r >= 1) return r;
    r = context.hooks.appendRadio(serial, -1);
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
