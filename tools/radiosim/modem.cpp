#include "modem.h"

#include <algorithm>
#include <cctype>

namespace radiosim {

namespace {

std::string Normalised(const std::string& number) {
    std::string s;
    for (char c : number)
        if (c != ' ' && c != '-' && c != '(' && c != ')') s += c;
    return s;
}

bool Listed(const std::vector<std::string>& list, const std::string& number) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return Normalised(n) == number; });
}

}  // namespace

DialOutcome HayesModem::classify(const std::string& dialled) const {
    DialOutcome d;
    d.number = Normalised(dialled);
    if (d.number.empty()) {
        d.answer = "NO DIALTONE";
    } else if (Listed(numbers.noDialtone, d.number)) {
        d.answer = "NO DIALTONE";
    } else if (Listed(numbers.busy, d.number)) {
        d.answer = "BUSY";
    } else if (Listed(numbers.silent, d.number)) {
        d.answer.reset();
    } else if (numbers.up.empty() || Listed(numbers.up, d.number)) {
        d.answer = "CONNECT 115200";
        d.connects = true;
    } else {
        d.answer = "BUSY";
    }
    return d;
}

std::string HayesModem::feed(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        if (connected) break;
        if (dial) {
            if (lenientDial) continue;
            // Any byte during a dial hangs up: the byte itself is dropped and
            // what follows is command text again.
            aborted = AbortedDial{dial->number, b};
            dial.reset();
            typed.clear();
            out += Framed("NO CARRIER");
            continue;
        }
        out += static_cast<char>(b);  // echo, as with E1
        if (b == '\r') {
            std::string line;
            line.swap(typed);
            out += command(line);
        } else if (b == '\n') {
            continue;
        } else if (typed.size() < 80) {
            typed += static_cast<char>(b);
        }
    }
    return out;
}

std::string HayesModem::command(const std::string& raw) {
    std::string line = raw;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T')
        return "";  // not a command: a modem ignores it
    std::string rest = line.substr(2);
    if (!rest.empty() && std::toupper(static_cast<unsigned char>(rest[0])) == 'D') {
        size_t at = 1;
        if (at < rest.size() && (std::toupper(static_cast<unsigned char>(rest[at])) == 'T' ||
                                 std::toupper(static_cast<unsigned char>(rest[at])) == 'P'))
            ++at;
        dial = classify(rest.substr(at));
        return "";
    }
    return Framed("OK");
}

std::string HayesModem::answer() {
    if (!dial) return "";
    DialOutcome d = *dial;
    dial.reset();
    if (!d.answer) return "";
    connected = d.connects;
    return Framed(*d.answer);
}

void HayesModem::hangup() {
    connected = false;
    dial.reset();
    aborted.reset();
    typed.clear();
}

}  // namespace radiosim
