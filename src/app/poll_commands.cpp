#include "app/poll_commands.h"

#include <string>

#include "engine/poll_cycle.h"
#include "model/program.h"
#include "platform/host.h"
#include "platform/ids.h"
#include "text/format_number.h"

namespace {

void Refuse(Host& host) {
    host.beep();
    host.messageBox("Bad Input Try Again", "Error");
}

}  // namespace

void PollRadioValue(Program& program, Host& host) {
    if (program.display.screenNumber != screen::screen2) return;
    std::string text = program.poll.singleParamText;
    if (!host.prompt("EEPROM Location To Poll", text)) text = program.poll.singleParamText;
    // Cancel polls the row typed last, as it always has.
    PollSetupRow(program, text);
}

void PollSingleRadio(Program& program, Host& host) {
    if (!program.poll.pollMode.polling()) return;  // a sweep or a write is running
    std::string text;
    if (!host.prompt("Radio Serial Number to Poll?", text)) return;
    if (PollRadioBySerial(program, text) == TypedAnswer::refused) Refuse(host);
}

void SetPollInterval(Program& program, Host& host) {
    std::string text = FormatNumber(program.poll.pollInterval, "###.0");
    if (!host.prompt("Polling Interval", text)) return;
    if (SetPollIntervalText(program.poll, text) == TypedAnswer::refused) Refuse(host);
}
