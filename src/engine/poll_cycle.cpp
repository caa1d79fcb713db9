#include "engine/poll_cycle.h"

#include <cmath>
#include <string>

#include "engine/tick_guard.h"
#include "engine/write_sequence.h"
#include "files/log_files.h"
#include "link/links.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "platform/host.h"
#include "platform/ids.h"
#include "protocol/protocol.h"
#include "text/format_number.h"
#include "text/typed_number.h"

namespace {

constexpr int kRequestWaiting = 0;
constexpr int kRequestSent = 8;

void Status(Program& program, const std::string& text) { program.live->statusPollMode(text); }

void AdvanceSetupSweepIndex(Program& program) {
    PollState& poll = program.poll;
    ++poll.setupSweepIndex;
    if (poll.setupSweepIndex >= program.setup.setupParamCount || poll.setupSweepIndex < 0)
        poll.setupSweepIndex = 0;
}

// Table rows 0..40 exist; the sweep index is kept inside them whatever the count did.
uint16_t SweepAddress(const Program& program) {
    int row = program.poll.setupSweepIndex;
    if (row < 0 || row >= kParamSlots) row = 0;
    return AddressOfRow(program.setup, row);
}

void BuildRead(Program& program, unsigned serial, uint16_t address) {
    BuildRequest(program.request, 0xF8, serial, static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address & 0xFF));
    program.poll.requestState = kRequestWaiting;
    RememberPoll(program.poll, serial);
}

// Sending: the request leaves when the interval has passed and the link can take it.
void SendStep(Program& program) {
    PollState& poll = program.poll;
    poll.tickAccumulator += 0.1f;
    if (!(poll.tickAccumulator > poll.pollInterval)) return;
    // Serial: into an empty transmit queue while the master is not busy; UDP: always;
    // TCP: never here, the master's status frames pace it (OnMasterStatusFrame).
    if (poll.requestState < kRequestSent && LinkSendsOnInterval(program)) {
        LinkSendRequest(program);
        poll.requestState = kRequestSent;
        poll.tickAccumulator = 0.01f;
    }
}

// Rule 1: "Poll Radio Value" repetitions of one parameter.
BuildOutcome BuildSingleParameter(Program& program) {
    PollState& poll = program.poll;
    if (poll.singleParamPolls >= 10) {
        poll.singleParamPolls = 0;
        return BuildOutcome::nothing;
    }
    const double typed = ParseTypedNumber(poll.singleParamText);
    unsigned serial = 0;
    if (!(typed >= 0 && typed < kParamSlots) || !SerialOfRadio(program.network, poll.currentRadio, serial)) {
        // Nothing sensible to poll: end the repetitions.
        poll.singleParamPolls = 0;
        return BuildOutcome::nothing;
    }
    BuildRead(program, serial, AddressOfRow(program.setup, static_cast<int>(typed)));
    Status(program, "Mem" + FormatNumber(poll.pollMode, " * "));
    ++poll.singleParamPolls;
    poll.pollMode = 0;
    return BuildOutcome::built;
}

// Rule 2: random-number polling.
BuildOutcome BuildRandom(Program& program) {
    PollState& poll = program.poll;
    ++poll.randomNumber;  // wraps from 255 to 0
    BuildPollByNumber(program.request, poll.randomNumber);
    program.poll.requestState = kRequestWaiting;
    Status(program, "Random" + FormatNumber(poll.randomNumber, " * #"));
    return BuildOutcome::built;
}

// Rule 3: the read-all sweep of one radio's parameters.
BuildOutcome BuildParameterSweep(Program& program) {
    PollState& poll = program.poll;
    unsigned serial = 0;
    if (!SerialOfRadio(program.network, poll.currentRadio, serial)) {
        // The radio left the table: the sweep ends in the base mode.
        poll.pollMode &= 1;
        return BuildOutcome::nothing;
    }
    BuildRead(program, serial, SweepAddress(program));
    AdvanceSetupSweepIndex(program);
    Status(program, "Mem" + FormatNumber(poll.pollMode, " * #"));
    poll.pollMode += 2;
    return BuildOutcome::built;
}

// Rule 4: sequential polling, slot 0 (the master) to radioCount, then one probe.
BuildOutcome BuildSequential(Program& program) {
    PollState& poll = program.poll;
    RadioNetwork& network = program.network;
    if (poll.currentRadio < 0) poll.currentRadio = 0;
    if (poll.currentRadio > network.radioCount) {
        poll.currentRadio = 0;
        ++poll.sweepCount;
        AdvanceSetupSweepIndex(program);
        ++poll.randomNumber;
        // A by-number probe finds radios missing from the table.
        BuildPollByNumber(program.request, poll.randomNumber);
        poll.requestState = kRequestWaiting;
        Status(program, "Random " + FormatNumber(poll.randomNumber, "* #   "));
        return BuildOutcome::built;
    }
    const int radio = poll.currentRadio;
    RadioRecord& record = network.radios[static_cast<size_t>(radio)];
    BuildRead(program, record.serialNumber, SweepAddress(program));
    const int screen = program.display.screenNumber;
    if ((screen == screen::screen0 || screen == screen::screen1) && radio >= network.firstVisibleRow &&
        radio <= network.lastVisibleRow)
        program.live->radioRow(radio);
    Status(program, "Sequen" + FormatNumber(radio, "* #"));
    record.pollScore = static_cast<uint16_t>(std::lround(0.98 * record.pollScore));
    ++poll.currentRadio;
    return BuildOutcome::built;
}

// Building: the first rule that applies builds the next request.
BuildOutcome BuildStep(Program& program, TickWindow& host, TickGuard& tick) {
    PollState& poll = program.poll;
    if (poll.singleParamPolls > 0) return BuildSingleParameter(program);
    if (poll.pollMode == 1) return BuildRandom(program);
    if (poll.pollMode < 0) return BuildParameterSweep(program);
    if (poll.pollMode == 0) return BuildSequential(program);
    return BuildWriteSequenceRequest(program, host, tick);
}

}  // namespace

bool SerialOfRadio(const RadioNetwork& network, int radio, unsigned& serial) {
    if (radio < 0 || radio > network.radioCount || radio >= kRadioSlots) return false;
    serial = network.radios[static_cast<size_t>(radio)].serialNumber;
    return true;
}

void PollTick(Program& program, TickWindow& host) {
    PollState& poll = program.poll;
    // The dial-up wait owns the port: its modem replies are not reply frames and no
    // request may go into the dialogue. The wait blocks the window, so no tick ran.
    if (program.link.dialling.load()) return;
    if (poll.inTimerTick) {
        ++poll.overrunCount;
        return;
    }
    TickGuard tick(program, host);
    poll.repaintRequested = false;  // the flag belongs to this tick

    program.live->clockText(TimeText(program.clock->now()));

    SendStep(program);
    ReadReplies(program);
    CloseDeadLinks(program);

    if (poll.requestState == kRequestSent && BuildStep(program, host, tick) == BuildOutcome::aborted)
        return;  // the failure message has been shown; no logging, no repaint

    LoggingStep(program, &host);

    tick.EndDrawing();
    if (TakeLinkStatusChange(program.link)) {
        // A link closed itself: the status line shows it now, old letters erased.
        host.invalidate(true);
        host.update();
        poll.repaintRequested = false;
    } else if (poll.repaintRequested) {
        host.invalidate(false);
        host.update();
        poll.repaintRequested = false;
    }
}

void OnMasterStatusFrame(Program& program) {
    // On TCP the waiting request goes out, at most one per clock second.
    LinkOnMasterStatus(program);
}
