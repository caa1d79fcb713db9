#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "link/link_internal.h"
#include "link/link_transport.h"
#include "link/links.h"
#include "model/program.h"
#include "protocol/ring.h"

namespace {

// A write with the port's 100 ms write time-out: whatever the line takes within that
// time goes out, the rest stays queued for the next pass.
int WriteWithTimeout(int fd, const uint8_t* bytes, int n, ProtocolError& errors, bool& failing) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(100);
    int total = 0;
    while (total < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) break;
        pollfd waiter{fd, POLLOUT, 0};
        int ready = poll(&waiter, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        ssize_t written = write(fd, bytes + total, static_cast<size_t>(n - total));
        if (written > 0) {
            total += static_cast<int>(written);
            failing = false;
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // A dead line (unplugged adapter, hung-up terminal): report once per outage
        // and let the writer retry after its pause.
        if (!failing) RecordFailure(errors, written < 0 ? errno : EIO, linkerr::serialWrite);
        failing = true;
        break;
    }
    return total;
}

// Longest idle wait of the writer; appends and the stop signal wake it sooner.
constexpr auto kIdleWait = std::chrono::milliseconds(20);

// Drains the transmit queue into the port until asked to stop. An empty queue is
// waited for on a condition that every append and the stop signal, so an idle
// port costs next to nothing and queued bytes still leave at once; a write that
// moved nothing (time-out, line held) is retried after 1 ms.
void SerialWriterLoop(std::stop_token stop, ReceiveRing& ring, LinkState& link, int fd, ProtocolError& errors) {
    bool failing = false;
    const auto write = [&](const uint8_t* bytes, int n) {
        return WriteWithTimeout(fd, bytes, n, errors, failing);
    };
    while (!stop.stop_requested() && ring.ringCount.load() >= 0) {
        if (ring.ringCount.load() == 0) {
            std::unique_lock<std::mutex> lock(link.serialWriterLock);
            link.serialWriterWake.wait_for(lock, stop, kIdleWait, [&] { return ring.ringCount.load() != 0; });
            continue;
        }
        if (RingDrainLink(ring, write) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Serial tools share one lock per device: LCK..<device> in /run/lock (or /var/lock)
// holding the owner's PID as ten characters and a newline. CORVANE_LOCK_DIR points
// elsewhere (tests).
std::string LockDirectory() {
    if (const char* forced = std::getenv("CORVANE_LOCK_DIR"); forced != nullptr && forced[0] != '\0') return forced;
    for (const char* dir : {"/run/lock", "/var/lock"}) {
        struct stat info {};
        if (stat(dir, &info) == 0 && S_ISDIR(info.st_mode)) return dir;
    }
    return {};
}

// The device's own name, whatever link points to it: /dev/pts/3 -> "pts_3".
std::string LockName(const std::string& path) {
    std::error_code error;
    std::string device = std::filesystem::canonical(path, error).string();
    if (error) device = path;
    std::string name =
        device.rfind("/dev/", 0) == 0 ? device.substr(5) : std::filesystem::path(device).filename().string();
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

// The PID a lock file names, 0 when it names none.
pid_t LockOwner(const std::string& lock) {
    std::ifstream in(lock);
    long pid = 0;
    if (!(in >> pid) || pid <= 0) return 0;
    return static_cast<pid_t>(pid);
}

bool ProcessAlive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

std::string ProcessName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Locks held by this process, by the descriptor of their port.
std::mutex heldLocksGuard;
std::map<int, std::string> heldLocks;

bool HoldingLock(const std::string& name) {
    std::lock_guard<std::mutex> hold(heldLocksGuard);
    for (const auto& [fd, held] : heldLocks)
        if (held == name) return true;
    return false;
}

// Takes the device's lock file. False with the reason when another live process
// holds it; a lock left by a dead process is removed. Without a usable lock folder
// the port is opened all the same (TIOCEXCL still keeps other users out).
bool TakeDeviceLock(const std::string& path, std::string& lock, std::string& reason) {
    lock.clear();
    const std::string dir = LockDirectory();
    if (dir.empty()) return true;
    const std::string name = dir + "/" + LockName(path);
    char pidText[16];
    std::snprintf(pidText, sizeof pidText, "%10d\n", static_cast<int>(getpid()));
    // Written whole under a private name, then linked into place: a reader never sees half a PID.
    const std::string temporary = dir + "/LTMP." + std::to_string(getpid());
    for (int attempt = 0; attempt < 2; ++attempt) {
        unlink(temporary.c_str());
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return true;
        const bool written = write(fd, pidText, std::strlen(pidText)) == static_cast<ssize_t>(std::strlen(pidText));
        close(fd);
        const bool linked = written && link(temporary.c_str(), name.c_str()) == 0;
        const int code = errno;
        unlink(temporary.c_str());
        if (linked) {
            lock = name;
            return true;
        }
        if (!written || code != EEXIST) return true;
        const pid_t owner = LockOwner(name);
        // Our own PID on a lock we do not hold is a leftover of ours (a port never closed).
        const bool live = owner == getpid() ? HoldingLock(name) : owner > 0 && ProcessAlive(owner);
        if (live) {
            const std::string who = ProcessName(owner);
            reason = "in use by process " + std::to_string(owner) + (who.empty() ? "" : " (" + who + ")") + " (lock " +
                     name + ")";
            return false;
        }
        unlink(name.c_str());  // stale: its owner is gone
    }
    return true;
}

void ReleaseDeviceLock(int fd) {
    std::lock_guard<std::mutex> hold(heldLocksGuard);
    auto it = heldLocks.find(fd);
    if (it == heldLocks.end()) return;
    // Only our own lock: another program may have taken the name since.
    if (LockOwner(it->second) == getpid()) unlink(it->second.c_str());
    heldLocks.erase(it);
}

}  // namespace

int OpenConfiguredSerialPort(ProtocolError& errors, const std::string& commPortName, LinkResult& failure) {
    const std::string path = SerialDevicePath(commPortName);
    failure.where = path;  // empty: the name maps to no device
    const auto refuse = [&](int code, const std::string& why) {
        failure.ok = false;
        failure.error = code;
        failure.detail = (path.empty() ? commPortName : path) + ": " + why;
        failure.sentence = "Could not open comm port!\n" + failure.detail;
        return -1;
    };
    const auto fail = [&](int code) {
        refuse(code, std::strerror(code));
        failure.sentence = SerialOpenFailureText(commPortName, path, code);
        return -1;
    };
    if (path.empty()) {
        refuse(ENOENT, "no device");
        return -1;
    }
    // One program per port: a second would take the first one's replies.
    std::string lock, holder;
    if (!TakeDeviceLock(path, lock, holder)) return refuse(EBUSY, holder);
    const auto unlock = [&] {
        if (!lock.empty()) unlink(lock.c_str());
    };
    // Non-blocking so the writer can honour its write time-out and a read never hangs.
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        unlock();
        // A port opened exclusively by a program that takes no lock file.
        if (code == EBUSY) return refuse(code, "in use by another program (" + std::string(std::strerror(code)) + ")");
        return fail(code);
    }

    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {  // not a serial line at all
        const int code = errno;
        close(fd);
        unlock();
        return fail(code);
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        const int code = errno;
        close(fd);
        unlock();
        return fail(code);
    }
    // Later opens of the line fail with EBUSY (except for root, whom the lock file stops).
    ioctl(fd, TIOCEXCL);
    if (!lock.empty()) {
        std::lock_guard<std::mutex> hold(heldLocksGuard);
        heldLocks[fd] = lock;
    }
    // Receive and transmit queue sizes belong to the driver on this platform.
    // DTR held asserted while the port is open; a pseudo-terminal has no modem lines.
    int dtr = TIOCM_DTR;
    if (ioctl(fd, TIOCMBIS, &dtr) != 0 && errno != ENOTTY && errno != EINVAL)
        RecordFailure(errors, errno, linkerr::serialConfigure);
    return fd;
}

namespace {

// An open port: its descriptor, its lock file and the writer that drains the
// link's transmit queue into it. Without a descriptor it is the port-less
// behaviour: requests wait in the queue, nothing is read.
class SerialPort : public LinkTransport {
public:
    explicit SerialPort(int fd) : fd(fd) {}
    ~SerialPort() override { release(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int bytesAvailable(const LinkChannels& channels) override {
        return channels.link.serialPortOpen ? SerialBytesWaiting(channels.link, channels.errors) : 0;
    }
    void receive(const LinkChannels& channels, uint8_t* destination, int n) override {
        if (!channels.link.serialPortOpen || fd < 0) {
            std::memset(destination, 0, static_cast<size_t>(n));
            return;
        }
        SerialRead(channels.link, channels.errors, destination, n);
        channels.link.rxActivity = 1;
    }
    bool sendsOnInterval(const LinkState& link, bool masterBusy) const override {
        // The writer drains the transmit queue; queue only into an empty one.
        return link.transmit.ringCount.load() == 0 && !masterBusy;
    }
    void sendRequest(const LinkChannels& channels, const RequestSend& send) override {
        LinkState& link = channels.link;
        if (RingAppendMain(link.transmit, send.request.bytes.data(), 8)) ++link.requestsSent;
        WakeSerialWriter(link);
    }
    void keepAlive(const LinkChannels& channels) override {
        LinkState& link = channels.link;
        if (link.serialPortOpen != 1) return;
        if (link.rxActivity == 1)
            link.rxActivity = 0;
        else if (link.linkUp == 1)
            QueueSerialText(link, "\r");
    }
    int descriptor() const override { return fd; }
    bool shut(ProtocolError&) override { return release(); }

    void startWriter(LinkState& link, ProtocolError& errors) {
        writer = std::jthread(SerialWriterLoop, std::ref(link.transmit), std::ref(link), fd, std::ref(errors));
    }

private:
    bool release() {
        if (writer.joinable()) {
            writer.request_stop();
            writer.join();
        }
        if (fd < 0) return true;
        ReleaseDeviceLock(fd);
        // The exclusive mode outlives this descriptor while others hold the line open.
        ioctl(fd, TIOCNXCL);
        const bool closed = close(fd) == 0;
        fd = -1;
        return closed;
    }

    int fd;
    std::jthread writer;
};

}  // namespace

LinkTransport& PortlessSerial() {
    static SerialPort portless(-1);
    return portless;
}

void InstallSerialPort(LinkState& link, int fd) { InstallTransport(link, std::make_shared<SerialPort>(fd)); }

void StartSerialWriter(Program& program) {
    RingReset(program.link.transmit);
    ResetReceiveState(program.ring, program.poll);
    if (auto* port = dynamic_cast<SerialPort*>(program.link.transport.get()))
        port->startWriter(program.link, program.errors);
}

void WakeSerialWriter(LinkState& link) {
    // Taking the lock orders the change of the count before the writer's check.
    { std::lock_guard<std::mutex> hold(link.serialWriterLock); }
    link.serialWriterWake.notify_one();
}

bool CloseSerialPort(LinkState& link, ProtocolError& errors) {
    // The stopped queue refuses later appends (a keep-alive byte queued late).
    link.transmit.ringCount.store(ReceiveRing::kSerialStop);
    bool closed = true;
    if (dynamic_cast<SerialPort*>(link.transport.get()) != nullptr) closed = RemoveTransport(link)->shut(errors);
    link.serialPortOpen = 0;
    return closed;
}

int SerialBytesWaiting(LinkState& link, ProtocolError& errors) {
    const std::shared_ptr<LinkTransport> port = CurrentTransport(link);
    const int fd = port->descriptor();
    if (fd < 0) return 0;
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0) {
        RecordFailure(errors, errno, linkerr::serialRead);
        waiting = 0;
    }
    if (waiting > 0) return waiting;
    // Nothing waiting: a line that is gone (adapter unplugged, the far end of a
    // pseudo-terminal closed) is closed here, so the status shows "No Connection"
    // instead of an open port that can never deliver.
    pollfd probe{fd, POLLIN, 0};
    if (poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        RecordFailure(errors, EIO, linkerr::serialRead);
        CloseSerialPort(link, errors);
        link.linkUp = 0;
        link.portFailure = EIO;
        link.statusChanged = true;
    }
    return 0;
}

void SerialRead(const LinkState& link, ProtocolError& errors, uint8_t* destination, int n) {
    const std::shared_ptr<LinkTransport> port = CurrentTransport(link);
    int fd = port->descriptor();
    int got = 0;
    while (got < n) {
        ssize_t r = fd >= 0 ? read(fd, destination + got, static_cast<size_t>(n - got)) : -1;
        if (r > 0) {
            got += static_cast<int>(r);
            continue;
        }
        int code = r == 0 ? EIO : (fd < 0 ? EBADF : errno);
        if (code == EINTR) continue;
        if (code == EAGAIN) {
            // Bytes the queue count promised are normally there; allow a straggler.
            pollfd waiter{fd, POLLIN, 0};
            int ready = poll(&waiter, 1, 1000);
            if (ready > 0 && (waiter.revents & POLLIN)) continue;
            code = ready < 0 ? errno : ETIMEDOUT;
        }
        RecordFailure(errors, code, linkerr::serialRead);
        std::memset(destination + got, 0, static_cast<size_t>(n - got));
        break;
    }
}

LinkResult OpenSerialLink(Program& program) {
    LinkState& link = program.link;
    LinkResult result;
    if (link.serialPortOpen) return result;
    int fd = OpenConfiguredSerialPort(program.errors, link.commPortName, result);
    if (fd < 0) return result;
    link.linkUp = 1;
    InstallSerialPort(link, fd);
    link.portFailure = 0;
    StartSerialWriter(program);
    link.serialPortOpen = 1;
    return result;
}

bool CloseSerialLink(Program& program) {
    LinkState& link = program.link;
    if (!link.serialPortOpen && dynamic_cast<SerialPort*>(link.transport.get()) == nullptr) return true;
    if (!CloseSerialPort(link, program.errors)) return false;  // linkUp keeps its value
    link.linkUp = 0;
    return true;
}
