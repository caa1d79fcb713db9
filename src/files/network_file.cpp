#include "files/network_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_safety.h"
#include "files/log_text.h"
#include "model/program.h"
#include "model/protocol_error.h"
#include "model/radio_table.h"
#include "text/format_number.h"

namespace {

// A radio list of 2047 lines is well under a megabyte; anything far beyond this is
// not a network file and is refused rather than read into memory.
constexpr size_t kLargestFile = 64u << 20;
constexpr const char* kTooLarge = "the file is too large for a radio list";

struct LoadedRadio {
    uint32_t serial = 0;
    uint8_t repeater = 0;
    RadioName name{};
};

struct LoadedFile {
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

// The file a line at a time through a fixed buffer, so memory stays the same
// whatever the file holds. CR LF, LF and a lone CR each end a line, and a UTF-8
// byte-order mark before the first line is skipped.
class LineReader {
public:
    explicit LineReader(int fd) : fd(fd) {}

    // The next line without its end, of which at most `keep` characters are kept;
    // `length` is the whole line's length. False at the end of the file or on a
    // failure (`code` set).
    bool next(std::string& line, size_t keep, size_t& length) {
        line.clear();
        length = 0;
        bool any = false;
        for (;;) {
            if (at == end && !fill()) return code == 0 && any;
            if (atStart) {
                atStart = false;
                if (end - at >= 3 && std::memcmp(buffer + at, "\xEF\xBB\xBF", 3) == 0) at += 3;
                continue;
            }
            if (afterCr) {
                afterCr = false;
                if (buffer[at] == '\n') ++at;
                continue;
            }
            const char* from = buffer + at;
            const char* stop = static_cast<const char*>(std::memchr(from, '\n', end - at));
            const char* cr = static_cast<const char*>(std::memchr(from, '\r', (stop ? stop : buffer + end) - from));
            if (cr) stop = cr;
            const size_t n = static_cast<size_t>((stop ? stop : buffer + end) - from);
            if (line.size() < keep) line.append(from, std::min(n, keep - line.size()));
            length += n;
            any = true;
            at += n;
            if (stop) {
                afterCr = *stop == '\r';
                ++at;
                return true;
            }
        }
    }

    int code = 0;  // errno of a failed read, EFBIG past the size limit
    std::string reason;

private:
    bool fill() {
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail(errno, std::strerror(errno));
            at = 0;
            end = static_cast<size_t>(n);
            total += end;
            if (total > kLargestFile) return fail(EFBIG, kTooLarge);
            return n > 0;
        }
    }
    bool fail(int error, const char* text) {
        code = error;
        reason = text;
        at = end = 0;
        return false;
    }

    int fd;
    char buffer[65536];
    size_t at = 0;
    size_t end = 0;
    size_t total = 0;
    bool atStart = true;   // the byte-order mark may still come
    bool afterCr = false;  // an LF straight after a CR belongs to the same line end
};

// Radio lines matter up to their name's last column; one more character tells
// whether a line is longer than 20.
constexpr size_t kRadioColumns = 21;

bool ParseNetworkFile(LineReader& reader, LoadedFile& file) {
    std::string line;
    size_t length = 0;
    size_t number = 1;
    bool more = reader.next(line, std::string::npos, length);
    if (more && line.compare(0, 11, "IP ADDRESS ") == 0) {
        file.ipText = line.substr(11);
        more = reader.next(line, std::string::npos, length);
        ++number;
        if (more && line.compare(0, 11, "PORT NUMBER") == 0) {
            file.portText = line.substr(11);  // keeps the blank before the number
            more = reader.next(line, kRadioColumns, length);
            ++number;
        }
    }
    for (; more; more = reader.next(line, kRadioColumns, length), ++number) {
        if (length < 10) break;  // a short line ends the list
        if (static_cast<int>(file.radios.size()) == kMaxRadios) {
            file.truncated = true;
            break;
        }
        const std::string_view text(line);
        LoadedRadio radio;
        radio.serial = FieldNumber(Columns(text, 0, 8));
        // The repeater number is a byte in the table; a larger one would wrap to
        // another repeater, so that radio is left out and named in the warning.
        const uint32_t repeater = FieldNumber(Columns(text, 8, 3));
        if (repeater > 255) {
            file.refused.push_back("line " + std::to_string(number) + ": repeater number " + std::to_string(repeater) +
                                   " is above 255; that radio was not loaded");
            continue;
        }
        radio.repeater = static_cast<uint8_t>(repeater);
        radio.name = MakeRadioName(Columns(text, 12, 8));
        file.radios.push_back(radio);
    }
    return reader.code == 0;
}

// Reads and parses the whole file before anything changes, so a file that cannot be
// read leaves the table as it was.
bool LoadNetworkFile(const std::string& path, LoadedFile& file, std::string& reason, int& code) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        code = errno;
        reason = std::strerror(code);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && static_cast<uint64_t>(status.st_size) > kLargestFile) {
        ::close(fd);
        code = EFBIG;
        reason = kTooLarge;
        return false;
    }
    auto reader = std::make_unique<LineReader>(fd);
    const bool ok = ParseNetworkFile(*reader, file);
    ::close(fd);
    if (!ok) {
        code = reader->code;
        reason = reader->reason;
    }
    return ok;
}

}  // namespace

bool ReadNetworkFile(Program& program, const std::string& path, std::string& error,
                     std::vector<std::string>& warnings) {
    error.clear();
    warnings.clear();
    LoadedFile file;
    std::string reason;
    int code = 0;
    if (!LoadNetworkFile(path, file, reason, code)) {
        RecordFailure(program.errors, code, logtext::kNetworkFileReadError);
        error = "Cannot read " + path + ": " + reason;
        return false;
    }

    RadioNetwork& network = program.network;
    // The address belongs to the site the file describes: a file without one is a
    // site without one, and a later Save must not give it the last site's address.
    program.link.ipAddressText = file.ipText;
    program.link.portText = file.portText;
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

    for (const std::string& refused : file.refused) warnings.push_back(path + " " + refused);
    if (file.truncated)
        warnings.push_back(path + " holds more than " + std::to_string(kMaxRadios) + " radios; the first " +
                           std::to_string(kMaxRadios) + " were loaded");
    return true;
}

bool ReadNetworkFile(Program& program, const std::string& path, std::string& error) {
    std::vector<std::string> warnings;
    if (!ReadNetworkFile(program, path, error, warnings)) return false;
    for (const std::string& warning : warnings) error += (error.empty() ? "" : "\n") + warning;
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

bool WriteNetworkFile(const std::string& folder, const RadioNetwork& network, const LinkState& link,
                      ProtocolError& errors, const std::string& path, std::string& error) {
    std::string reason;
    const int code = WriteFileAtomically(folder, path, NetworkFileText(network, link), reason);
    if (code == 0) {
        error.clear();
        return true;
    }
    RecordFailure(errors, code, logtext::kNetworkFileWriteError);
    error = "Cannot write " + WorkPath(folder, path) + ": " + reason;
    return false;
}
