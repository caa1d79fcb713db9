#include "files/network_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_safety.h"
#include "files/log_text.h"
#include "model/program.h"
#include "model/protocol_error.h"
#include "model/radio_table.h"
#include "platform/host.h"
#include "text/format_number.h"

namespace {

constexpr const char* kFilter = "Radio Files|*.RAD|All Files|*.*";
// A radio list of 2047 lines is well under a megabyte; anything far beyond this is
// not a network file and is refused rather than read into memory.
constexpr size_t kLargestFile = 64u << 20;

struct LoadedRadio {
    uint32_t serial = 0;
    uint8_t repeater = 0;
    RadioName name{};
};

struct LoadedFile {
    bool hasIp = false;
    bool hasPort = false;
    std::string ipText;
    std::string portText;
    std::vector<LoadedRadio> radios;
    bool truncated = false;  // more radio lines than the table holds
    std::vector<std::string> refused;  // radio lines that were not loaded, and why
};

// Leading blanks skipped, then digits up to the first non-digit; no digits reads 0.
uint32_t FieldNumber(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    uint32_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(field[i] - '0');
    return value;
}

std::string_view Columns(std::string_view line, size_t first, size_t count) {
    if (first >= line.size()) return {};
    return line.substr(first, count);
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& reason, int& code) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        code = errno;
        reason = std::strerror(code);
        return false;
    }
    contents.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            code = errno;
            reason = std::strerror(code);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<size_t>(n));
        if (contents.size() > kLargestFile) {
            code = EFBIG;
            reason = "the file is too large for a radio list";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Splits on LF; a CR before the LF (or at the very end) belongs to the line end.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = next;
    }
    return lines;
}

LoadedFile ParseNetworkFile(std::string_view text) {
    LoadedFile file;
    const std::vector<std::string_view> lines = SplitLines(text);
    size_t i = 0;
    if (i < lines.size() && lines[i].substr(0, 11) == "IP ADDRESS ") {
        file.hasIp = true;
        file.ipText = std::string(lines[i].substr(11));
        ++i;
        if (i < lines.size() && lines[i].substr(0, 11) == "PORT NUMBER") {
            file.hasPort = true;
            file.portText = std::string(lines[i].substr(11));  // keeps the blank before the number
            ++i;
        }
    }
    for (; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.size() < 10) break;  // a short line ends the list
        if (static_cast<int>(file.radios.size()) == kMaxRadios) {
            file.truncated = true;
            break;
        }
        LoadedRadio radio;
        radio.serial = FieldNumber(Columns(line, 0, 8));
        // The repeater number is a byte in the table; a larger one would wrap to
        // another repeater, so that radio is left out and named in the warning.
        const uint32_t repeater = FieldNumber(Columns(line, 8, 3));
        if (repeater > 255) {
            file.refused.push_back("line " + std::to_string(i + 1) + ": repeater number " +
                                   std::to_string(repeater) + " is above 255; that radio was not loaded");
            continue;
        }
        radio.repeater = static_cast<uint8_t>(repeater);
        radio.name = MakeRadioName(Columns(line, 12, 8));
        file.radios.push_back(radio);
    }
    return file;
}

}  // namespace

bool ReadNetworkFile(Program& program, const std::string& path, std::string& error) {
    error.clear();
    std::string contents;
    std::string reason;
    int code = 0;
    // Read everything first: a file that cannot be read leaves the table as it was.
    if (!ReadWholeFile(path, contents, reason, code)) {
        RecordFailure(program.errors, code, logtext::kNetworkFileReadError);
        error = "Cannot read " + path + ": " + reason;
        return false;
    }
    const LoadedFile file = ParseNetworkFile(contents);

    RadioNetwork& network = program.network;
    if (file.hasIp) program.link.ipAddressText = file.ipText;
    if (file.hasPort) program.link.portText = file.portText;
    network.radioCount = 0;
    // P and Poll Radio Value act on the selected radio; keep it inside the new list.
    network.selectedRadio = std::clamp(network.selectedRadio, 0, static_cast<int>(file.radios.size()));
    for (const LoadedRadio& loaded : file.radios) {
        const int index = ++network.radioCount;
        RadioRecord& radio = network.radios[index];
        // The slot may hold another radio's values; the measurement reset below
        // clears most of them, but not the time of the last reply.
        radio = RadioRecord{};
        radio.serialNumber = loaded.serial;
        radio.repeaterNumber = loaded.repeater;
        radio.name = loaded.name;
        radio.freqOffsetCode = 128;
        if (loaded.repeater > network.repeaterCount) network.repeaterCount = loaded.repeater;
    }
    RebuildRadioIndex(network);

    // Poll the new list in order from its first radio.
    program.poll.pollMode = 0;
    program.poll.currentRadio = 1;
    network.firstVisibleRow = 1;
    network.lastVisibleRow = std::min(40, network.radioCount);
    ResetMeasurements(program.network, program.log, program.clock);

    for (const std::string& refused : file.refused) error += (error.empty() ? "" : "\n") + path + " " + refused;
    if (file.truncated)
        error += (error.empty() ? "" : "\n") + path + " holds more than " + std::to_string(kMaxRadios) +
                 " radios; the first " + std::to_string(kMaxRadios) + " were loaded";
    return true;
}

std::string NetworkFileText(const RadioNetwork& network, const LinkState& link) {
    std::string out;
    if (!link.ipAddressText.empty()) {
        out += "IP ADDRESS " + link.ipAddressText + logtext::kLineEnd;
        // A port text read from a file keeps the blank after "PORT NUMBER"; it is
        // not doubled, so an opened file is saved with the same port line.
        if (!link.portText.empty())
            out += (link.portText.front() == ' ' ? "PORT NUMBER" : "PORT NUMBER ") + link.portText + logtext::kLineEnd;
    }
    const int count = logtext::RadiosInTable(network);
    for (int i = 1; i <= count; ++i) {
        const RadioRecord& radio = network.radios[i];
        out += FormatNumber(radio.serialNumber, "* ######");
        out += FormatNumber(radio.repeaterNumber, "* # ");
        out += NameText(radio.name);
        out += logtext::kLineEnd;
    }
    return out;
}

bool WriteNetworkFile(const RadioNetwork& network, const LinkState& link, ProtocolError& errors,
                      const std::string& path, std::string& error) {
    std::string reason;
    const int code = WriteFileAtomically(path, NetworkFileText(network, link), reason);
    if (code == 0) {
        error.clear();
        return true;
    }
    RecordFailure(errors, code, logtext::kNetworkFileWriteError);
    error = "Cannot write " + WorkPath(path) + ": " + reason;
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
    // A work folder deleted meanwhile leaves the dialog nowhere to start but the
    // root: refuse before offering it.
    if (std::string reason; !WorkFolderPresent(reason)) {
        RecordFailure(program.errors, ENOENT, logtext::kNetworkFileWriteError);
        host.messageBox("Cannot write " + WorkFolderGoneText(program.network.networkFileName, reason), "Error");
        return;
    }
    FileDialogRequest request{"Save  File", kFilter, "RAD", program.network.networkFileName, false};
    std::string path;
    if (!host.saveFileDialog(request, path)) return;
    std::string error;
    if (!WriteNetworkFile(program.network, program.link, program.errors, path, error)) {
        host.messageBox(error, "Error");
        return;
    }
    program.network.networkFileName = path;
    Repaint(host);
}
