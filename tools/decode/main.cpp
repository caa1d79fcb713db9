// corvane-decode: a captured reply stream in, one JSON object per frame out.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "protocol/decode_json.h"

namespace {

const char* const kHelp =
    "Usage: corvane-decode [--table] [FILE]\n"
    "\n"
    "Decodes a captured byte stream from a master radio (FILE, or standard input\n"
    "when FILE is missing or \"-\") with the program's own frame assembler and\n"
    "decoders, on a fresh program state with every byte available at once.\n"
    "Prints JSON Lines, in stream order:\n"
    "\n"
    "  one line per complete frame:\n"
    "    {\"offset\":<byte offset of the type byte>,\"type\":\"F8\",\"length\":<bytes>,\n"
    "     \"checksum\":\"ok\"|\"bad\", ...fields}\n"
    "  with the fields (level bytes with their bias of 16 removed):\n"
    "    F0     serial, slot, dataCount, busy, noise, temperatureRaw, voltageRaw, revision\n"
    "    F1/F4  serial (F4 with the master's top bits), sequence, masterBytes, slaveBytes,\n"
    "           noise, distanceRaw\n"
    "    F5     serial, dataBytes, bad, good, noise, distanceRaw\n"
    "    F2/F3  serial, address, value\n"
    "    F8/F9  address, serial, linkSignal, hopCount, good, signal, noise, lineStatus,\n"
    "           temperatureRaw, voltageRaw, freq, value, revision, distanceRaw,\n"
    "           hops: [{\"serial\",\"signal\",\"distanceRaw\"}, ...]\n"
    "    FB     address, hex (the frame's bytes in hexadecimal)\n"
    "  one line per error record (after the frame it belongs to):\n"
    "    {\"offset\":<n>,\"error\":<code>,\"value\":<value>}\n"
    "\n"
    "Options:\n"
    "  --table   after the stream, one more line:\n"
    "            {\"master\":{serialNumber, noiseLevel, temperatureRaw, voltageRaw, revision,\n"
    "             dataBytesTotal},\"radioCount\":n,\"radios\":[...],\n"
    "             \"errors\":{\"last\":code,\"value\":v,\"count\":n}}\n"
    "            where \"radios\" lists slots 0..radioCount (slot 0 is the master's), each\n"
    "            with index, serialNumber, name, repeaterNumber, pollScore, replyCount,\n"
    "            dataBytes, distanceRaw, disconnectCount, lineStatus, signalLevel,\n"
    "            noiseLevel, goodPacketsRaw, freqOffsetCode, hopRepeater (4),\n"
    "            hopSignalAvg (4), historyCount and eepromValue (read rows: value)\n"
    "  --help    this text\n"
    "  --version the program's version\n"
    "\n"
    "Exit status: 0 decoded, 2 bad arguments or unreadable input.\n";

// Reads the whole stream; false (with errno set) when reading fails, e.g. on a directory.
bool ReadAll(std::FILE* in, std::vector<uint8_t>& bytes) {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    return !std::ferror(in);
}

}  // namespace

int main(int argc, char** argv) {
    bool withTable = false;
    std::string path;
    bool havePath = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "corvane-decode " CORVANE_VERSION "\n";
            return 0;
        }
        if (arg == "--table") {
            withTable = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            std::cerr << "corvane-decode: unknown option " << arg << " (try --help)\n";
            return 2;
        } else if (havePath) {
            std::cerr << "corvane-decode: only one input file may be given (try --help)\n";
            return 2;
        } else {
            path = arg;
            havePath = true;
        }
    }

    std::vector<uint8_t> bytes;
    if (!havePath || path == "-") {
        if (!ReadAll(stdin, bytes)) {
            std::cerr << "corvane-decode: cannot read standard input: " << std::strerror(errno) << "\n";
            return 2;
        }
    } else {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            std::cerr << "corvane-decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
            return 2;
        }
        bool ok = ReadAll(file, bytes);
        int readError = errno;
        std::fclose(file);
        if (!ok) {
            std::cerr << "corvane-decode: cannot read " << path << ": " << std::strerror(readError) << "\n";
            return 2;
        }
    }
    std::cout << DecodeCaptureToJson(bytes, withTable);
    std::cout.flush();
    return std::cout ? 0 : 2;
}
