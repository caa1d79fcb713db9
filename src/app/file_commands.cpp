#include "app/file_commands.h"

#include <cerrno>
#include <string>

#include "files/file_safety.h"
#include "files/log_files.h"
#include "files/log_text.h"
#include "files/network_file.h"
#include "model/program.h"
#include "platform/host.h"

namespace {

constexpr const char* kFilter = "Radio Files|*.RAD|All Files|*.*";

}  // namespace

bool WriteSettingsReport(const std::string& folder, const RadioNetwork& network, const SetupState& setup,
                         ProtocolError& errors, Host* host, int radio) {
    std::string failure;
    if (WriteSettingsReport(folder, network, setup, errors, radio, failure)) return true;
    if (host != nullptr && !failure.empty()) host->messageBox(failure, "Error");
    return false;
}

void CommandOpenNetworkFile(Program& program, Host& host) {
    FileDialogRequest request{"Open Radio File", kFilter, "RAD", program.network.networkFileName, true};
    std::string path;
    if (!host.openFileDialog(request, path)) return;
    std::string error;
    if (!ReadNetworkFile(program, path, error)) {
        host.messageBox(error, "Error");
        return;
    }
    program.network.networkFileName = path;
    if (!error.empty()) host.messageBox(error, "Warning");
    Repaint(host);
}

void CommandSaveNetworkFile(Program& program, Host& host) {
    // Save replaces the chosen file without asking. A work folder deleted meanwhile leaves the dialog nowhere to start
    // but the root: refuse before offering it.
    if (std::string reason; !WorkFolderPresent(program.log.workFolder, reason)) {
        RecordFailure(program.errors, ENOENT, logtext::kNetworkFileWriteError);
        host.messageBox(
            "Cannot write " + WorkFolderGoneText(program.log.workFolder, program.network.networkFileName, reason),
            "Error");
        return;
    }
    FileDialogRequest request{"Save  File", kFilter, "RAD", program.network.networkFileName, false, false};
    std::string path;
    if (!host.saveFileDialog(request, path)) return;
    std::string error;
    if (!WriteNetworkFile(program.log.workFolder, program.network, program.link, program.errors, path, error)) {
        host.messageBox(error, "Error");
        return;
    }
    program.network.networkFileName = path;
    Repaint(host);
}
