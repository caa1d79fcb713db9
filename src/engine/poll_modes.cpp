#include <string>

#include "engine/poll_cycle.h"
#include "engine/poll_phases.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "platform/ids.h"
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

void PollSetupRow(Program& program, const std::string& rowText) {
    PollState& poll = program.poll;
    poll.singleParamText = rowText;
    const double row = ParseTypedNumber(poll.singleParamText);
    if (!(row >= 0 && row < kParamSlots)) return;  // no such table slot: not polled
    poll.singleParamPolls = 1;
    StartParameterSweep(program);
}

void ReadAllSetupParameters(Program& program) { StartParameterSweep(program); }

TypedAnswer PollRadioBySerial(Program& program, const std::string& serialText) {
    PollState& poll = program.poll;
    if (!poll.pollMode.polling()) return TypedAnswer::ignored;  // a sweep or a write is running
    const double typed = ParseTypedNumber(serialText);
    if (!(typed > 10000)) return TypedAnswer::ignored;
    if (typed > kLargestSerial) return TypedAnswer::refused;
    const int index = FindOrAddRadio(program.network, program.errors, *program.live, static_cast<uint32_t>(typed));
    if (index < 0) return TypedAnswer::ignored;  // the table is full
    poll.currentRadio = index;
    program.network.selectedRadio = index;
    poll.pollMode = ReadBackOnly(poll.pollMode.order(), 5);  // five reads of writeAddress from that radio
    return TypedAnswer::taken;
}

TypedAnswer SetPollIntervalText(PollState& poll, const std::string& secondsText) {
    const double seconds = ParseTypedNumber(secondsText);
    // No lower bound: an interval of 0 or less sends on every tick.
    if (!(seconds >= -kLongestInterval && seconds <= kLongestInterval)) return TypedAnswer::refused;
    poll.pollInterval = static_cast<float>(seconds);
    return TypedAnswer::taken;
}
