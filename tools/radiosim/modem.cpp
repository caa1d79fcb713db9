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

DialOutcome HayesModem::Classify(const std::string& dialled) const {
    DialOutcome d;
    d.number = Normalised(dialled);
    if (d.number.empty()) {
        d.answer = "NO DIALTONE";
    } else if (Listed(numbers_.noDialtone, d.number)) {
        d.answer = "NO DIALTONE";
    } else if (Listed(numbers_.busy, d.number)) {
        d.answer = "BUSY";
    } else if (Listed(numbers_.silent, d.number)) {
        d.answer.reset();
    } else if (numbers_.up.empty() || Listed(numbers_.up, d.number)) {
        d.answer = "CONNECT 115200";
        d.connects = true;
    } else {
        d.answer = "BUSY";
    }
    return d;
}

std::string HayesModem::Feed(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        if (online_) break;
        if (dial_) {
            if (lenientDial_) continue;
            // Any byte during a dial hangs up: the byte itself is dropped and
            // what follows is command text again.
            aborted_ = AbortedDial{dial_->number, b};
            dial_.reset();
            line_.clear();
            out += Framed("NO CARRIER");
            continue;
        }
        out += static_cast<char>(b);  // echo, as with E1
        if (b == '\r') {
            std::string line;
            line.swap(line_);
            out += Command(line);
        } else if (b == '\n') {
            continue;
        } else if (line_.size() < 80) {
            line_ += static_cast<char>(b);
        }
    }
    return out;
}

std::string HayesModem::Command(const std::string& raw) {
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
        dial_ = Classify(rest.substr(at));
        return "";
    }
    return Framed("OK");
}

std::string HayesModem::Answer() {
    if (!dial_) return "";
    DialOutcome d = *dial_;
    dial_.reset();
    if (!d.answer) return "";
    online_ = d.connects;
    return Framed(*d.answer);
}

void HayesModem::Hangup() {
    online_ = false;
    dial_.reset();
    aborted_.reset();
    line_.clear();
}

}  // namespace radiosim
