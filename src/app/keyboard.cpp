#include "app/keyboard.h"

#include <algorithm>

#include "app/change_parameter.h"
#include "app/file_commands.h"
#include "app/menu_commands.h"
#include "app/poll_commands.h"
#include "app/window_proc.h"
#include "engine/poll_cycle.h"
#include "engine/remote_setup.h"
#include "files/log_files.h"
#include "files/network_file.h"
#include "model/program.h"
#include "platform/host.h"
#include "platform/ids.h"

namespace {

// Screens 2, 3 and 4 show one radio; the arrows step through the radios there.
bool ShowsOneRadio(const Program& program) {
    const int screen = program.display.screenNumber;
    return screen >= screen::screen2 && screen <= screen::graphics4;
}

void LastRowRule(RadioNetwork& network, int rowsPerPage) {
    network.lastVisibleRow = std::min(rowsPerPage + network.firstVisibleRow, network.radioCount);
}

// Arrow and page keys on the detail screens move the selected radio.
void StepSelectedRadio(Program& program, Host& host, int virtualKey) {
    RadioNetwork& network = program.network;
    const int last = std::clamp(network.radioCount, 0, kMaxRadios);
    const int rowsPerPage = program.display.rowsPerPage;
    int radio = SelectedRadioInTable(program.network);
    switch (virtualKey) {
        case key::up: radio = radio - 1 < 0 ? last : radio - 1; break;
        case key::down: radio = radio + 1 > last ? 0 : radio + 1; break;
        case key::pageUp:
            radio -= rowsPerPage;
            if (radio < 1) radio = 0;
            break;
        default:  // page down
            radio += rowsPerPage;
            if (radio > last) radio = last;
            break;
    }
    // A negative page (a window too small for one row) must not leave the table either.
    network.selectedRadio = std::clamp(radio, 0, last);
    Repaint(host, program.display.screenNumber == screen::screen2);
}

// Arrow and page keys on the list screens scroll the list.
void ScrollList(Program& program, Host& host, int virtualKey) {
    RadioNetwork& network = program.network;
    const int rowsPerPage = program.display.rowsPerPage;
    switch (virtualKey) {
        case key::up:
            if (network.firstVisibleRow > 1) network.firstVisibleRow -= 1;
            break;
        case key::down:
            if (network.radioCount > network.firstVisibleRow) network.firstVisibleRow += 1;
            break;
        case key::pageUp: network.firstVisibleRow = std::max(network.firstVisibleRow - rowsPerPage, 1); break;
        default:  // page down
            if (network.radioCount - rowsPerPage > network.firstVisibleRow) network.firstVisibleRow += rowsPerPage;
            break;
    }
    LastRowRule(network, rowsPerPage);
    Repaint(host, true);
}

}  // namespace

void OnKeyDown(Program& program, Host& host, int virtualKey) {
    DisplayOptions& display = program.display;
    switch (virtualKey) {
        case key::up:
        case key::down:
        case key::pageUp:
        case key::pageDown:
            if (ShowsOneRadio(program))
                StepSelectedRadio(program, host, virtualKey);
            else
                ScrollList(program, host, virtualKey);
            return;
        case key::plus:
        case key::keypadPlus: display.alarmTimeSeconds += 1; break;
        case key::minus:
        case key::keypadMinus:
            if (display.alarmTimeSeconds > 1) display.alarmTimeSeconds -= 1;
            break;
        case key::letterA: OnMenuCommand(program, host, menu::addRadio); break;
        case key::letterD: OnMenuCommand(program, host, menu::deleteRadio); break;
        case key::letterC: ChangeSetupParameter(program, host); break;
        case key::escape:
            // Closing the window closes the link and ends the message loop.
            WindowProc(program, host, msg::destroy, 0, 0);
            return;
        case key::letterS: PollSequentialMode(program.poll); break;
        case key::letterR: PollRandomMode(program.poll); break;
        case key::letterP:
            if (display.screenNumber == screen::screen2)
                ReadAllSetupParameters(program);
            else if (program.poll.pollMode.polling())
                PollSingleRadio(program, host);  // never while a sweep or a write runs
            break;
        case key::letterF:
            if (display.screenNumber == screen::screen2) {
                WriteSettingsReport(program.log.workFolder, program.network, program.setup, program.errors, &host,
                                    SelectedRadioInTable(program.network));
                return;
            }
            CommandSaveNetworkFile(program, host);
            break;
        case key::letterN: display.showNames = !display.showNames; break;
        case key::letterW: program.log.logRequested = true; return;
        default:
            if (virtualKey >= key::digit0 && virtualKey <= key::digit4)
                display.screenNumber = virtualKey - key::digit0;
            else if (virtualKey >= key::keypad0 && virtualKey <= key::keypad4)
                display.screenNumber = virtualKey - key::keypad0;
            break;
    }
    Repaint(host, true);
}
