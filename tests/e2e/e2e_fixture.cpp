#include "e2e/e2e_fixture.h"

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/window_proc.h"
#include "link/links.h"

namespace {

constexpr int64_t kStepNs = 100000000;

int64_t SteadyNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

std::vector<SimLine> ParseSimLog(const std::vector<std::string>& lines) {
    std::vector<SimLine> out;
    for (const auto& line : lines) {
        std::istringstream in(line);
        SimLine l;
        std::string hex;
        if (!(in >> l.ms >> l.link >> l.kind >> hex)) continue;
        l.bytes = FromHex(hex);
        std::getline(in, l.text);
        if (!l.text.empty() && l.text.front() == ' ') l.text.erase(0, 1);
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<SimLine> Requests(const std::vector<SimLine>& log, const std::string& link) {
    std::vector<SimLine> out;
    for (const auto& l : log)
        if (l.link == link && l.kind == "rx" && l.bytes.size() == 8 && l.bytes[0] >= 0xF8 && l.bytes[0] <= 0xFA &&
            l.text.rfind("bad XOR", 0) != 0)
            out.push_back(l);
    return out;
}

uint32_t FrameSerial(const SimLine& line) {
    if (line.bytes.size() < 4) return 0;
    return (uint32_t{line.bytes[1]} << 16) | (uint32_t{line.bytes[2]} << 8) | line.bytes[3];
}

double MedianGapMs(const std::vector<SimLine>& lines) {
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < lines.size(); ++i) gaps.push_back(lines[i].ms - lines[i - 1].ms);
    if (gaps.empty()) return 0;
    std::sort(gaps.begin(), gaps.end());
    return static_cast<double>(gaps[gaps.size() / 2]);
}

int SameSecondPairs(const std::vector<SimLine>& requests, int64_t startedEpochMs, int64_t readyEpochMs,
                    int transitMs) {
    int pairs = 0;
    for (size_t i = 1; i < requests.size(); ++i) {
        // The earliest the first can have left and the latest the second: no second
        // boundary between them means both left within the same clock second.
        const int64_t earliest = startedEpochMs + requests[i - 1].ms - transitMs;
        const int64_t latest = readyEpochMs + requests[i].ms;
        if (earliest / 1000 == latest / 1000) ++pairs;
    }
    return pairs;
}

std::vector<SimLine> WithText(const std::vector<SimLine>& log, const std::string& part) {
    std::vector<SimLine> out;
    for (const auto& l : log)
        if (l.text.find(part) != std::string::npos) out.push_back(l);
    return out;
}

std::vector<SimRadio> SimNetwork(const std::vector<SimLine>& log) {
    // "radio 2 serial 2411281 repeater 2 new-type hops 1 9110005"
    std::vector<SimRadio> out;
    for (const auto& l : log) {
        if (l.link != "sim" || l.kind != "ev") continue;
        std::istringstream in(l.text);
        std::string radioWord, serialWord;
        SimRadio r;
        if (!(in >> radioWord >> r.index >> serialWord >> r.serial >> r.role)) continue;
        if (radioWord != "radio" || serialWord != "serial") continue;
        if (r.role == "repeater") in >> r.repeaterNumber;
        std::string word;
        int hops = 0;
        while (in >> word)
            if (word == "hops") break;
        in >> hops;
        for (uint32_t serial; hops-- > 0 && in >> serial;) r.path.push_back(serial);
        if (static_cast<int>(out.size()) != r.index) continue;  // only the start-up list
        out.push_back(r);
    }
    return out;
}

TempWorkDir::TempWorkDir() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) previous = cwd;
    char tmpl[] = "/tmp/corvane-e2e-XXXXXX";
    if (mkdtemp(tmpl)) {
        dir = tmpl;
        if (chdir(dir.c_str()) != 0) dir.clear();
    }
}

TempWorkDir::~TempWorkDir() {
    if (!previous.empty() && chdir(previous.c_str()) != 0) return;
    if (dir.empty()) return;
    for (const auto& name : files()) unlink((dir + "/" + name).c_str());
    rmdir(dir.c_str());
}

std::vector<std::string> TempWorkDir::files() const {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") out.push_back(name);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string TempWorkDir::read(const std::string& name) const {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> TempWorkDir::withExtension(const std::string& ext) const {
    std::vector<std::string> out;
    for (const auto& name : files())
        if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) out.push_back(name);
    return out;
}

ProgramRun::ProgramRun(Rect client) : canvas(client) {
    program = CreateProgram(clock);
    DrivingEngine(*program).subscribe(*this);
    host.canvas = &canvas;
    WindowProc(*program, host, msg::create, 0, 0);
    StartProgram(*program);
    nextStepNs = SteadyNs() + kStepNs;
}

ProgramRun::~ProgramRun() {
    WindowProc(*program, host, msg::destroy, 0, 0);
    StopProgram(*program, host);
}

void ProgramRun::faultRecorded(ProtocolError::Kind, int code, int) {
    std::lock_guard<std::mutex> lock(errorLock);
    ++codes[code];
}

std::map<int, int> ProgramRun::errorCodes() {
    std::lock_guard<std::mutex> lock(errorLock);
    return codes;
}

void ProgramRun::command(int id) { WindowProc(*program, host, msg::command, static_cast<uintptr_t>(id), 0); }

void ProgramRun::key(int virtualKey) { WindowProc(*program, host, msg::keyDown, static_cast<uintptr_t>(virtualKey), 0); }

void ProgramRun::serveUdp(int timeoutMs) {
    // The window turns a readable socket into message 961, once per datagram.
    for (;;) {
        const int fd = LinkUdpSocket(program->link);
        if (program->link.linkKind != kLinkUdp || fd < 0) {
            if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return;
        WindowProc(*program, host, msg::udpSocket, static_cast<uintptr_t>(fd), 0);
        timeoutMs = 0;
    }
}

void ProgramRun::waitForNextStep() {
    for (;;) {
        const int64_t left = nextStepNs - SteadyNs();
        if (left <= 0) break;
        serveUdp(static_cast<int>(std::max<int64_t>(1, left / 1000000)));
    }
    serveUdp(0);
    // A late tick (a loaded machine) is not followed by a burst: the timer just goes on.
    nextStepNs = std::max(nextStepNs + kStepNs, SteadyNs());
}

void ProgramRun::tick() {
    waitForNextStep();
    WindowProc(*program, host, msg::timer, 1, 0);
    ++ticks;
    const int count = program->network.radioCount;
    if (count < highestRadioCount) ++radioCountDrops;
    highestRadioCount = std::max(highestRadioCount, count);
}

void ProgramRun::tickDuringPumps() {
    host.onPump = [this] {
        if (SteadyNs() < nextStepNs) return;
        nextStepNs = SteadyNs() + kStepNs;
        WindowProc(*program, host, msg::timer, 1, 0);
        ++ticks;
    };
}

void ProgramRun::runFor(double seconds) {
    const int64_t end = SteadyNs() + static_cast<int64_t>(seconds * 1e9);
    while (SteadyNs() < end) tick();
}

bool ProgramRun::runUntil(const std::function<bool()>& done, double seconds) {
    const int64_t end = SteadyNs() + static_cast<int64_t>(seconds * 1e9);
    while (!done()) {
        if (SteadyNs() >= end) return false;
        tick();
    }
    return true;
}

const RecordingCanvas& ProgramRun::paint() {
    canvas.clear();
    WindowProc(*program, host, msg::paint, 0, 0);
    return canvas;
}

std::vector<uint32_t> ProgramRun::listedSerials() const {
    std::vector<uint32_t> out;
    const RadioNetwork& n = program->network;
    for (int i = n.firstVisibleRow; i <= n.lastVisibleRow; ++i) {
        const std::string id = canvas.text(rowOf(i), 1, 8);
        out.push_back(static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 10)));
    }
    return out;
}

int ProgramRun::rowOf(int index) const { return 7 + index - program->network.firstVisibleRow; }

void ProgramRun::openSerial(const std::string& devicePath) {
    setenv("CORVANE_COM1", devicePath.c_str(), 1);
    command(121);
}

void ProgramRun::connectTcp(int port) {
    host.answer(true, "127.0.0.1");
    host.answer(true, std::to_string(port));
    command(129);
    command(130);
}

void ProgramRun::connectUdp(int port, const std::string& password) {
    host.answer(true, "127.0.0.1");
    host.answer(true, std::to_string(port));
    command(129);
    host.answer(true, password);
    command(150);
}

std::set<uint32_t> TableSerials(const Program& program) {
    std::set<uint32_t> out;
    for (int i = 1; i <= program.network.radioCount && i < kRadioSlots; ++i) out.insert(program.network.radios[i].serialNumber);
    return out;
}

bool TableHolds(const Program& program, const std::vector<SimRadio>& radios) {
    const auto held = TableSerials(program);
    for (const auto& r : radios)
        if (r.index > 0 && !held.count(r.serial)) return false;
    return radios.size() > 1;
}

RadioSimProcess& E2ETest::startSim(std::vector<std::string> args) {
    size_t expected = 13;  // the master and the default 12
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--radios") expected = 1 + std::stoul(args[i + 1]);
    sim = std::make_unique<RadioSimProcess>(std::move(args));
    EXPECT_TRUE(sim->ready()) << "corvane-radiosim did not start";
    // It lists its network in the log just after "ready".
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim->ready() && SimNetwork(simLog()).size() < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return *sim;
}

void E2ETest::TearDown() {
    if (!HasFailure() || !sim) return;
    const auto lines = sim->logLines();
    std::string tail;
    for (size_t i = lines.size() > 40 ? lines.size() - 40 : 0; i < lines.size(); ++i) tail += lines[i] + "\n";
    std::printf("last lines of the simulator's log:\n%s", tail.c_str());
}
