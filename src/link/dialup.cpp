#include <cstring>
#include <string>

#include "link/link_internal.h"
#include "link/links.h"
#include "model/program.h"

namespace {

constexpr int kDialLimitSeconds = 60;
// The modem's answers are short; a chatty line must not grow the buffer without end.
constexpr size_t kReplyKeep = 4096;

int SecondsSinceMidnight(const Clock& clock) {
    LocalTime t = clock.now();
    return t.hour * 3600 + t.minute * 60 + t.second;
}

void ReadModemReplies(Program& program, std::string& reply) {
    int waiting = SerialBytesWaiting(program.link, program.errors);
    if (waiting <= 0) return;
    std::string bytes(static_cast<size_t>(waiting), '\0');
    SerialRead(program.link, program.errors, reinterpret_cast<uint8_t*>(bytes.data()), waiting);
    reply += bytes;
    if (reply.size() > 2 * kReplyKeep) reply.erase(0, reply.size() - kReplyKeep);
}

enum class DialOutcome { connected, redial, done };

LinkResult Failed(const std::string& where, int code, const std::string& why, const std::string& sentence) {
    LinkResult result;
    result.ok = false;
    result.error = code;
    result.where = where;
    result.detail = where + ": " + why;
    result.sentence = sentence;
    return result;
}

LinkResult Cancelled(const std::string& words) {
    LinkResult result;
    result.ok = false;
    result.cancelled = true;
    result.sentence = words;
    return result;
}

// Marks the dialogue with the modem; cleared on every way out of it.
class DiallingWait {
public:
    explicit DiallingWait(LinkState& link) : link(link) { link.dialling = true; }
    ~DiallingWait() { link.dialling = false; }
    DiallingWait(const DiallingWait&) = delete;
    DiallingWait& operator=(const DiallingWait&) = delete;

private:
    LinkState& link;
};

enum class ModemAnswer { connect, noDialtone, busy, silent, windowClosed, portFailed };

// Reads the modem's replies until one is recognised or 60 seconds have passed.
// The tests run in this order, so "CONNECT" wins when several are present.
ModemAnswer WaitForModem(Program& program, LinkQuestions& questions) {
    const int start = SecondsSinceMidnight(*program.clock);
    std::string reply;
    program.link.linkUp = 0;
    for (;;) {
        ReadModemReplies(program, reply);
        // A port that went away (adapter pulled out) was closed by the read.
        if (LinkDescriptor(program.link) < 0) return ModemAnswer::portFailed;
        if (reply.find("CONNECT") != std::string::npos) return ModemAnswer::connect;
        if (reply.find("NO DIALTONE") != std::string::npos) return ModemAnswer::noDialtone;
        if (reply.find("BUSY") != std::string::npos) return ModemAnswer::busy;
        int elapsed = SecondsSinceMidnight(*program.clock) - start;
        if (elapsed < 0) elapsed += 86400;
        if (elapsed > kDialLimitSeconds) return ModemAnswer::silent;
        program.clock->sleepMs(5);
        questions.waiting();
        // Closing the window reaches us inside the pump: it has closed the port.
        if (program.link.windowClosing) return ModemAnswer::windowClosed;
    }
}

// One dialling attempt, from opening the port to the modem's verdict in `result`.
DialOutcome DialOnce(Program& program, LinkQuestions& questions, const std::optional<std::string>& given,
                     LinkResult& result) {
    LinkState& link = program.link;
    // The window keeps handling events (the number prompt, the "Dialing" box) while
    // the port belongs to the dialogue: no poll tick may read the modem's answer or
    // queue a request behind the dial command, where it would abort the call.
    DiallingWait dialogue(link);
    link.linkUp = 3;
    result = LinkResult{};
    int fd = OpenConfiguredSerialPort(program.errors, link.commPortName, result);
    if (fd < 0) return DialOutcome::done;
    InstallSerialPort(link, fd);
    link.serialPortOpen = 1;
    link.portFailure = 0;

    std::string number = given.value_or("");
    if (!given && !questions.phoneNumber(number)) {
        if (!CloseSerialLink(program)) questions.notice("Could not close comm port!", "Error!");
        link.serialPortOpen = 0;
        result = Cancelled("");
        return DialOutcome::done;
    }
    StartSerialWriter(program);
    QueueSerialText(program.link, "ATDT");
    QueueSerialText(program.link, number);
    QueueSerialText(program.link, "\r");
    questions.dialing(true);

    const ModemAnswer answer = WaitForModem(program, questions);
    questions.dialing(false);
    const std::string path = SerialDevicePath(link.commPortName);
    if (answer == ModemAnswer::windowClosed) {
        CloseSerialPort(link, program.errors);
        link.linkUp = 0;
        result = Cancelled("");
        return DialOutcome::done;
    }
    if (answer == ModemAnswer::connect) {
        link.serialPortOpen = 1;
        link.linkUp = 1;
        return DialOutcome::connected;
    }
    if (answer == ModemAnswer::portFailed) {
        link.serialPortOpen = 0;
        link.linkUp = 0;
        const int code = link.portFailure.load();
        result = Failed(path, code, std::strerror(code), "Comm port failed!\n" + path + ": " + std::strerror(code));
        return DialOutcome::done;
    }
    if (!CloseSerialLink(program)) questions.notice("Could not close comm port!", "Error!");
    if (answer == ModemAnswer::silent) {
        link.serialPortOpen = 0;
        result = Failed(path, ETIMEDOUT, "the modem did not answer", "Connection Timed Out!");
        return DialOutcome::done;
    }
    const std::string title = answer == ModemAnswer::busy ? "Phone Busy" : "No Dialtone";
    const bool redial = questions.redial(title);
    link.serialPortOpen = 0;
    result = Cancelled(title);
    return redial ? DialOutcome::redial : DialOutcome::done;
}

}  // namespace

LinkResult DialUp(Program& program, LinkQuestions& questions, const std::optional<std::string>& number) {
    LinkResult result;
    while (DialOnce(program, questions, number, result) == DialOutcome::redial) {}
    return result;
}
