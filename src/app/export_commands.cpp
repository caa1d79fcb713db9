#include "app/export_commands.h"

#include <string>

#include "files/file_safety.h"
#include "files/history_export.h"
#include "model/program.h"
#include "platform/host.h"
#include "platform/ids.h"

namespace {

bool OnGraphScreen(Program& program, Host& host, const char* title) {
    const int screen = program.display.screenNumber;
    if (screen == screen::graphics3 || screen == screen::graphics4) return true;
    host.beep();
    host.messageBox("Show Graphics3 or Graphics4 first: the export saves the graph on the screen.", title);
    return false;
}

// "2419999-Graphics3.png": the radio and the graph it shows.
std::string SuggestedName(const Program& program, const char* extension) {
    const int radio = program.network.selectedRadio;
    const uint32_t serial = radio >= 0 && radio < kRadioSlots ? program.network.radios[static_cast<size_t>(radio)].serialNumber : 0;
    return std::to_string(serial) + "-Graphics" + std::to_string(program.display.screenNumber) + "." + extension;
}

void ReportFailure(Host& host, const std::string& path, const std::string& reason, const char* title) {
    host.messageBox("Could not write " + path + ": " + reason, title);
}

// A deleted work folder would start the save dialog at the root.
bool WorkFolderStillThere(const Program& program, Host& host, const std::string& name, const char* title) {
    std::string reason;
    if (WorkFolderPresent(program.log.workFolder, reason)) return true;
    host.messageBox("Could not write " + WorkFolderGoneText(program.log.workFolder, name, reason), title);
    return false;
}

void ExportGraph(Program& program, Host& host) {
    const char* title = "Export Graph";
    if (!OnGraphScreen(program, host, title)) return;
    if (!WorkFolderStillThere(program, host, SuggestedName(program, "png"), title)) return;
    FileDialogRequest request{title, "PNG Images|*.png|All Files|*.*", "png", SuggestedName(program, "png")};
    std::string path;
    if (!host.saveFileDialog(request, path)) return;
    std::string error;
    if (!host.saveWindowImage(path, error)) {
        ReportFailure(host, path, error, title);
        return;
    }
    host.setStatusText("Graph saved to " + path);
}

void ExportHistory(Program& program, Host& host) {
    const char* title = "Export History";
    if (!OnGraphScreen(program, host, title)) return;
    std::string csv, error;
    if (!HistoryCsvText(program.network, program.network.selectedRadio, program.display.screenNumber, csv, error)) {
        host.messageBox("Cannot export the history: " + error, title);
        return;
    }
    if (!WorkFolderStillThere(program, host, SuggestedName(program, "csv"), title)) return;
    FileDialogRequest request{title, "CSV Files|*.csv|All Files|*.*", "csv", SuggestedName(program, "csv")};
    std::string path;
    if (!host.saveFileDialog(request, path)) return;
    if (WriteFileAtomically(program.log.workFolder, path, csv, error) != 0) {
        ReportFailure(host, path, error, title);
        return;
    }
    host.setStatusText("History saved to " + path);
}

}  // namespace

bool OnExportCommand(Program& program, Host& host, int id) {
    switch (id) {
        case menu::exportGraph: ExportGraph(program, host); return true;
        case menu::exportHistory: ExportHistory(program, host); return true;
        default: return false;
    }
}
