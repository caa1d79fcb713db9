// The command side of a Hayes modem: echoes what it is sent, answers AT
// commands and dials. Once connected, the line carries the radio protocol.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace radiosim {

struct ModemNumbers {
    std::vector<std::string> up, busy, noDialtone, silent;
};

struct DialOutcome {
    std::string number;
    std::optional<std::string> answer;  // none: the modem never answers
    bool connects = false;
};

// A dial given up because a byte arrived while it was under way.
struct AbortedDial {
    std::string number;
    uint8_t byte = 0;
};

class HayesModem {
public:
    // A real modem gives up a dial on any byte received meanwhile; a lenient
    // one keeps dialling and ignores such bytes.
    HayesModem(ModemNumbers numbers, bool lenientDial = false)
        : numbers(std::move(numbers)), lenientDial(lenientDial) {}

    // Bytes received while not connected. Returns what the modem sends back
    // at once (the echo, and results of commands other than a dial); a dial
    // command sets dialPending().
    std::string feed(std::span<const uint8_t> bytes);

    // The dial waiting for its answer, which the caller delivers after the
    // dialling delay with answer().
    const std::optional<DialOutcome>& dialPending() const { return dial; }
    std::string answer();  // the framed result text; connects when the number is up
    // The dial the last feed() aborted, once; the caller stops waiting for it.
    std::optional<AbortedDial> takeAbortedDial() { return std::exchange(aborted, std::nullopt); }

    bool online() const { return connected; }
    void hangup();

    DialOutcome classify(const std::string& number) const;
    static std::string Framed(const std::string& text) { return "\r\n" + text + "\r\n"; }

private:
    std::string command(const std::string& line);

    ModemNumbers numbers;
    std::string typed;  // the command line so far
    std::optional<DialOutcome> dial;
    std::optional<AbortedDial> aborted;
    bool connected = false;
    bool lenientDial = false;
};

}  // namespace radiosim
