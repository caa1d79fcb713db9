#include <string>

#include "engine/poll_cycle.h"
#include "engine/poll_phases.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "platform/host.h"
#include "platform/ids.h"
#include "text/format_number.h"
#include "text/typed_number.h"

namespace {

// Serial numbers are 24 bits on the wire.
constexpr double kLargestSerial = 0xFFFFFF;
// Any number a float holds is accepted; a larger one cannot be stored at all.
constexpr double kLongestInterval = 3.0e38;

// A sweep of every parameter of the current radio: the mode counts up by 2 per
// read back to where it was. Taken from whatever the mode held, so a running write
// sequence is abandoned (its lowest bit, the base mode, survives).
void StartParameterSweep(Program& program) {
    PollState& poll = program.poll;
    poll.setupSweepIndex = 0;
    poll.currentRadio = program.network.selectedRadio;
    poll.pollMode = WithSweep(poll.pollMode, program.setup.setupParamCount);
}

}  // namespace

void PollRandomMode(PollState& poll) {
    poll.pollMode = PollPhase::polling(PollOrder::random);
    poll.randomNumber = 0;
}

void PollSequentialMode(PollState& poll) {
    poll.pollMode = PollPhase::polling(PollOrder::sequential);
    poll.currentRadio = 1;
}

void PollRadioValue(Program& program, Host& host) {
    if (program.display.screenNumber != screen::screen2) return;
    PollState& poll = program.poll;
    std::string text = poll.singleParamText;
    if (host.prompt("EEPROM Location To Poll", text)) poll.singleParamText = text;
    const double row = ParseTypedNumber(poll.singleParamText);
    if (!(row >= 0 && row < kParamSlots)) return;  // no such table slot: not polled
    poll.singleParamPolls = 1;
    StartParameterSweep(program);
}

void ReadAllSetupParameters(Program& program) { StartParameterSweep(program); }

void PollSingleRadio(Program& program, Host& host) {
    PollState& poll = program.poll;
    if (!poll.pollMode.polling()) return;  // a sweep or a write is running
    std::string text;
    if (!host.prompt("Radio Serial Number to Poll?", text)) return;
    const double typed = ParseTypedNumber(text);
    if (!(typed > 10000)) return;
    if (typed > kLargestSerial) {
        host.beep();
        host.messageBox("Bad Input Try Again", "Error");
        return;
    }
    const int index = FindOrAddRadio(program.network, program.errors, *program.live, static_cast<uint32_t>(typed));
    if (index < 0) return;  // the table is full
    poll.currentRadio = index;
    program.network.selectedRadio = index;
    poll.pollMode = ReadBackOnly(poll.pollMode.order(), 5);  // five reads of writeAddress from that radio
}

void SetPollInterval(Program& program, Host& host) {
    PollState& poll = program.poll;
    std::string text = FormatNumber(poll.pollInterval, "###.0");
    if (!host.prompt("Polling Interval", text)) return;
    const double seconds = ParseTypedNumber(text);
    // No lower bound: an interval of 0 or less sends on every tick.
    if (!(seconds >= -kLongestInterval && seconds <= kLongestInterval)) {
        host.beep();
        host.messageBox("Bad Input Try Again", "Error");
        return;
    }
    poll.pollInterval = static_cast<float>(seconds);
}
