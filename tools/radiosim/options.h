// Command-line options of corvane-radiosim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace radiosim {

struct Endpoint {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
};

struct FaultOptions {
    double dropPercent = 0;      // replies to requests that are not sent
    double corruptPercent = 0;   // frames sent with a wrong XOR byte
    double splitPercent = 0;     // frames written in two or three pieces
    int splitDelayMs = 40;
    double lateHopsPercent = 0;  // relayed replies whose hop records come late
    int lateHopsDelayMs = 1500;
    double strayPercent = 0;     // frames preceded by stray bytes
    std::vector<uint32_t> silenced;
    double busyAtSeconds = -1;   // master busy from this time ...
    double busyForSeconds = 0;   // ... for this long
    bool noStore = false;        // writes answered, stores ignored
    double closeAfterSeconds = 0;  // TCP connection closed after this long
    double closeMidFrameSeconds = 0;  // TCP: after this long, closed part-way through a frame
    double stopReadingSeconds = 0;    // TCP: after this long, nothing more is read
    bool udpOtherPort = false;        // UDP answers leave from another port
    double shortTrafficSerialsPercent = 0;  // 0xF5 reports with a 20- or 16-bit serial
    double noiseBytesPerSecond = 0;         // random bytes between the frames of every link ...
    double noiseForSeconds = 0;             // ... for this long from the start; 0: for ever
    double floodPerSecond = 0;              // good replies from serials not in the network ...
    double floodForSeconds = 0;             // ... for this long from the start; 0: for ever
    double withheldHopsPercent = 0;         // diagnostics replies cut to a header whose hop records never come
    int withheldHopCount = 7;               // the hop count that header announces
};

struct Options {
    int radios = 12;
    int repeaters = -1;  // -1: a quarter of the radios
    uint32_t seed = 1;
    int statusMs = 500;
    int reportMs = 2000;
    int traceMs = 0;
    int latencyMs = 20;
    int hopLatencyMs = 15;
    int pendingTimeoutS = 30;

    std::optional<Endpoint> tcp;
    std::optional<Endpoint> udp;
    std::string password;  // as given; empty means none
    bool pty = false;
    bool modem = false;
    std::vector<std::string> modemUp, modemBusy, modemNoDialtone, modemSilent;
    int modemDelayMs = 500;
    bool modemLenientDial = false;  // keep dialling whatever arrives meanwhile
    int chainHops = 0;  // a chain of this many repeaters with a slave at its end; 0: none

    std::string logFile;
    std::string networkFile;  // the network as a file for the program; empty: none
    bool summary = false;
    FaultOptions faults;

    // The bytes that follow the request frame in every datagram.
    std::string passwordBytes() const;
};

enum class ParseResult { Run, Help, Error };

ParseResult ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);
const char* HelpText();

}  // namespace radiosim
