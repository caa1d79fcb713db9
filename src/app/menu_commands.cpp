#include "app/menu_commands.h"

#include <string>

#include "app/change_parameter.h"
#include "app/file_commands.h"
#include "app/link_commands.h"
#include "app/poll_commands.h"
#include "app/window_proc.h"
#include "engine/poll_cycle.h"
#include "engine/remote_setup.h"
#include "files/log_files.h"
#include "files/network_file.h"
#include "link/links.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "model/setup_table.h"
#include "platform/host.h"
#include "platform/ids.h"
#include "text/format_number.h"
#include "text/typed_number.h"

namespace {

// The maker's support line shown by Help.
constexpr const char* kSupportNumber = "800-555-0199";

// Serial numbers are 24 bits on the wire.
constexpr double kLargestSerial = 0xFFFFFF;

// A typed serial number, or false (with the usual refusal) when it cannot be one.
bool TypedSerial(Host& host, const std::string& text, uint32_t& serial) {
    const double value = ParseTypedNumber(text);
    if (!(value >= 0 && value <= kLargestSerial)) {
        host.beep();
        host.messageBox("Bad Input Try Again", "Error");
        return false;
    }
    serial = static_cast<uint32_t>(value);
    return true;
}

void AddRadio(Program& program, Host& host) {
    std::string typed;
    if (!host.prompt("Radio Serial Number to Add?", typed)) return;
    uint32_t serial = 0;
    if (!TypedSerial(host, typed, serial)) return;
    std::string name;
    const bool named = host.prompt("Radio " + typed + "'s Name?", name);
    const int index = FindOrAddRadio(program.network, program.errors, *program.live, serial);
    if (index < 0) {
        host.messageBox("Radio table is full", "Error");
        return;
    }
    if (named) program.network.radios[index].name = MakeRadioName(name);
    Repaint(host);
}

void DeleteRadioCommand(Program& program, Host& host) {
    std::string typed;
    if (!host.prompt("Radio Serial Number to Delete?", typed)) return;
    const double value = ParseTypedNumber(typed);
    // A number no record can hold is simply not in the table.
    if (!(value >= 0 && value <= 0xFFFFFFFFu)) return;
    // Deleting moves the later radios down a slot; a running write follows its radio.
    const int64_t target = WriteTargetSerial(program.network, program.poll);
    const bool deleted = DeleteRadio(program.network, static_cast<uint32_t>(value));
    FollowWriteTarget(program.network, program.poll, target);
    if (deleted) Repaint(host);
}

void LocateRadioCommand(Program& program, Host& host) {
    RadioNetwork& network = program.network;
    int shown = network.selectedRadio == 0 ? 1 : network.selectedRadio;
    if (shown < 0 || shown >= kRadioSlots) shown = 1;
    std::string typed = FormatNumber(network.radios[shown].serialNumber, "#######");
    if (!host.prompt("Locate Radio", typed)) return;
    const double value = ParseTypedNumber(typed);
    const int index = value >= 0 && value <= 0xFFFFFFFFu
                          ? LocateRadio(network, static_cast<uint32_t>(value))
                          : -1;
    if (index < 0) {
        host.messageBox("Radio Not Found!", "Struck out!");
        return;
    }
    network.selectedRadio = index;
    network.firstVisibleRow = index == 0 ? 1 : index;
    Repaint(host);
}

void SaveRadioSettings(Program& program, Host& host) {
    program.display.screenNumber = screen::screen2;
    // The report lists the rows the shown radio has, as the Screen2 repaint sets them;
    // set them here too, for a window that paints later than it is asked to.
    const int radio = SelectedRadioInTable(program.network);
    program.setup.setupParamCount = SetupParamCountForSerial(program.network.radios[radio].serialNumber);
    Repaint(host);
    WriteSettingsReport(program.log.workFolder, program.network, program.setup, program.errors, &host, radio);
}

void SaveAllRadioSettings(Program& program, Host& host) {
    // After a failure the rest is still tried and recorded, but only the first one is
    // shown: the same reason would otherwise pop up once per radio.
    Host* shownTo = &host;
    for (int r = 0; r <= program.network.radioCount && r < kRadioSlots; ++r) {
        program.display.screenNumber = screen::screen2;
        host.invalidate(true);
        program.network.selectedRadio = r;
        // Each report lists its own radio's rows, not those of the last Screen2 paint.
        program.setup.setupParamCount = SetupParamCountForSerial(program.network.radios[r].serialNumber);
        if (!WriteSettingsReport(program.log.workFolder, program.network, program.setup, program.errors, shownTo, r))
            shownTo = nullptr;
    }
}

bool ScreenAndUnitCommands(Program& program, Host& host, int id) {
    DisplayOptions& display = program.display;
    if (id >= menu::screen0 && id <= menu::graphics4) {
        display.screenNumber = id - menu::screen0;
    } else if (id == menu::showNames || id == menu::showSerialNumbers) {
        display.showNames = id == menu::showNames;
    } else if (id == menu::metricUnits || id == menu::americanUnits) {
        display.metricUnits = id == menu::metricUnits;
    } else if (id == menu::rssiDbuv || id == menu::rssiRegular) {
        return true;  // shown in the menu, no effect
    } else {
        return false;
    }
    Repaint(host);
    return true;
}

// The link commands repaint where the menu says so themselves.
bool CommunicationCommands(Program& program, Host& host, int id) {
    switch (id) {
        case menu::changeCommPort: CommandChangeCommPort(program, host); return true;
        case menu::closeComm: CommandCloseComm(program, host); return true;
        case menu::openComm: CommandOpenComm(program, host); return true;
        case menu::changeIpAddress: CommandChangeIpAddress(program, host); return true;
        case menu::connectTcp: CommandConnectTcp(program, host); return true;
        case menu::closeTcpUdp: CommandCloseTcpUdp(program, host); return true;
        case menu::connectUdp: CommandConnectUdp(program, host); return true;
        case menu::connectDialup: CommandConnectDialup(program, host); return true;
        default: return false;
    }
}

bool PollCommands(Program& program, Host& host, int id) {
    switch (id) {
        case menu::pollRadio:
            if (program.display.screenNumber == screen::screen2)
                ReadAllSetupParameters(program);
            else
                PollSingleRadio(program, host);
            return true;
        case menu::randomMode: PollRandomMode(program.poll); return true;
        case menu::sequentialMode: PollSequentialMode(program.poll); return true;
        case menu::pollRadioValue:
            if (program.display.screenNumber == screen::screen2) PollRadioValue(program, host);
            return true;
        case menu::setPollInterval: SetPollInterval(program, host); return true;
        default: return false;
    }
}

}  // namespace

bool OnMenuCommand(Program& program, Host& host, int id) {
    if (ScreenAndUnitCommands(program, host, id)) return true;
    if (CommunicationCommands(program, host, id)) return true;
    if (PollCommands(program, host, id)) return true;
    switch (id) {
        case menu::newNetwork:
            NewNetworkReset(program.network, program.poll, program.request, program.log, program.clock);
            Repaint(host);
            return true;
        case menu::openNetworkFile: CommandOpenNetworkFile(program, host); return true;
        case menu::close: host.messageBox("CLOSE selected", ""); return true;
        case menu::saveNetworkFile: CommandSaveNetworkFile(program, host); return true;
        case menu::writeLogFile: program.log.logRequested = true; return true;
        case menu::writeCsvFile: program.log.csvRequested = true; return true;
        case menu::saveRadioSettings: SaveRadioSettings(program, host); return true;
        case menu::saveAllRadioSettings: SaveAllRadioSettings(program, host); return true;
        case menu::exit: WindowProc(program, host, msg::destroy, 0, 0); return true;
        case menu::deleteRadio: DeleteRadioCommand(program, host); return true;
        case menu::addRadio: AddRadio(program, host); return true;
        case menu::locateRadio: LocateRadioCommand(program, host); return true;
        case menu::changeEprom: ChangeSetupParameter(program, host); return true;
        case menu::resetDisconnectCount: ResetDisconnectCounts(program.network); return true;
        case menu::help:
            host.messageBox(std::string("Corvane's Support number is (") + kSupportNumber + ")", "Corvane");
            return true;
        case menu::about: host.aboutDialog(); return true;
        default: return false;
    }
}
