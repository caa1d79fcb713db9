#include <sys/wait.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>

#include "link_fixture.h"

namespace linktest {
namespace {

using SerialLink = LinkTest;

TEST_F(SerialLink, OpenRequestGoesOutAsTheEightFrameBytes) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    EXPECT_EQ(program->link.serialPortOpen, 1);
    EXPECT_EQ(program->link.linkUp, 1);
    EXPECT_EQ(program->link.linkKind, kLinkSerial);
    EXPECT_TRUE(host.shown.empty());

    LinkSendRequest(*program);
    EXPECT_EQ(ReadBytes(pty.master, 8), requestBytes());
    EXPECT_TRUE(WaitFor([&] { return program->link.transmit.ringCount == 0; }));

    QueueSerialText(program->link, "ATZ\r");
    EXPECT_EQ(ReadBytes(pty.master, 4), "ATZ\r");
}

TEST_F(SerialLink, QueuedBytesThatWrapPastTheRingEndArriveInOrder) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    // The ring is empty and the writer idle: move both positions near the end.
    program->link.transmit.ringMainIndex = 1020;
    program->link.transmit.ringLinkIndex = 1020;
    LinkSendRequest(*program);
    EXPECT_EQ(ReadBytes(pty.master, 8), requestBytes());
    ASSERT_TRUE(WaitFor([&] { return program->link.transmit.ringCount == 0; }));
    EXPECT_EQ(program->link.transmit.ringMainIndex, 4);
    EXPECT_EQ(program->link.transmit.ringLinkIndex, 4);
}

TEST_F(SerialLink, ReplyBytesAreReadFromThePortAndMarkActivity) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    EXPECT_EQ(LinkBytesAvailable(*program), 0);
    pty.write(std::string("\xF0\x01\x02\x03\x04", 5));
    ASSERT_TRUE(WaitFor([&] { return LinkBytesAvailable(*program) == 5; }));
    uint8_t got[3] = {};
    LinkReceive(*program, got, 3);
    EXPECT_EQ(got[0], 0xF0);
    EXPECT_EQ(got[2], 0x02);
    EXPECT_EQ(program->link.rxActivity, 1);
    EXPECT_EQ(LinkBytesAvailable(*program), 2);
    EXPECT_EQ(program->errors.count, 0);
}

TEST_F(SerialLink, NoLinkOffersNoBytes) {
    EXPECT_EQ(LinkBytesAvailable(*program), 0);
    uint8_t got[2] = {7, 7};
    LinkReceive(*program, got, 2);
    EXPECT_EQ(got[0], 0);
    EXPECT_EQ(program->link.rxActivity, 0);
}

TEST_F(SerialLink, OpenFailureShowsTheMessageAndChangesNothing) {
    program->link.linkUp = 0;
    setenv("CORVANE_COM1", "/nonexistent/serial", 1);
    EXPECT_FALSE(OpenSerialLink(*program, host));
    setenv("CORVANE_COM1", "/dev/null", 1);  // exists, but is no serial line
    EXPECT_FALSE(OpenSerialLink(*program, host));
    EXPECT_EQ(host.messages(),
              (std::vector<std::string>{"Error!: Could not open comm port!\n/nonexistent/serial: No such file or directory",
                                        "Error!: Could not open comm port!\n/dev/null: Inappropriate ioctl for device"}));
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(program->link.linkUp, 0);
    EXPECT_EQ(LinkDescriptor(program->link), -1);
    EXPECT_EQ(program->link.transport, nullptr);  // no writer thread left
}

TEST_F(SerialLink, CloseStopsTheWriterAndAClosedPortClosesQuietly) {
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    CloseSerialLink(*program, host);
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(program->link.linkUp, 0);
    EXPECT_EQ(program->link.transmit.ringCount, ReceiveRing::kSerialStop);
    EXPECT_EQ(program->link.transport, nullptr);  // no writer thread left
    EXPECT_EQ(LinkDescriptor(program->link), -1);

    program->link.linkUp = 1;
    CloseSerialLink(*program, host);
    EXPECT_EQ(program->link.linkUp, 1);
    EXPECT_TRUE(host.shown.empty());
    // A stopped ring takes nothing, so nothing reaches the line later.
    QueueSerialText(program->link, "\r");
    EXPECT_EQ(program->link.transmit.ringCount, ReceiveRing::kSerialStop);
}

// A lock folder of the test's own, gone when the test ends.
struct LockFolder {
    std::string path;
    LockFolder() {
        char name[] = "/tmp/corvane-lock-XXXXXX";
        path = mkdtemp(name);
        setenv("CORVANE_LOCK_DIR", path.c_str(), 1);
    }
    ~LockFolder() {
        unsetenv("CORVANE_LOCK_DIR");
        std::filesystem::remove_all(path);
    }
    std::string lockOf(const Pty& pty) const { return path + "/LCK.." + pty.slaveName.substr(5).replace(3, 1, "_"); }
    std::string read(const std::string& file) const {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::string& file, const std::string& text) const { std::ofstream(file) << text; }
};

std::string PidLine(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

TEST_F(SerialLink, ASecondOpenerOfAPortIsRefusedWithWhoHoldsIt) {
    LockFolder locks;
    Pty pty;
    usePty(pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    const std::string lock = locks.lockOf(pty);
    EXPECT_EQ(locks.read(lock), PidLine(getpid()));

    // Another program on the same line, reached through a link to it.
    const std::string alias = locks.path + "/ttyRADIO";
    ASSERT_EQ(symlink(pty.slaveName.c_str(), alias.c_str()), 0);
    setenv("CORVANE_COM2", alias.c_str(), 1);
    ScriptedHost otherHost;
    auto other = CreateProgram(clock);
    other->link.commPortName = "Com2";
    EXPECT_FALSE(OpenSerialLink(*other, otherHost));
    EXPECT_EQ(otherHost.messages(),
              std::vector<std::string>{"Error!: Could not open comm port!\n" + alias + ": in use by process " +
                                       std::to_string(getpid()) + " (test_link) (lock " + lock + ")"});
    EXPECT_EQ(other->link.serialPortOpen, 0);
    EXPECT_EQ(locks.read(lock), PidLine(getpid()));

    // Closed, the port is free for the other one.
    CloseSerialLink(*program, host);
    EXPECT_FALSE(std::filesystem::exists(lock));
    EXPECT_TRUE(OpenSerialLink(*other, otherHost));
    CloseAllLinks(*other, otherHost);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(SerialLink, ALockOfALiveProcessHoldsAndALeftoverIsTakenOver) {
    LockFolder locks;
    Pty pty;
    usePty(pty);
    const pid_t living = fork();
    if (living == 0) {
        pause();
        _exit(0);
    }
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    struct Case {
        std::string content;
        bool refused;
    };
    const Case cases[] = {
        {PidLine(living), true},    {PidLine(dead), false},
        {PidLine(getpid()), false},  // ours, from a port this process never closed
        {"garbage\n", false},       {"", false},
    };
    const std::string lock = locks.lockOf(pty);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        host.shown.clear();
        locks.write(lock, c.content);
        EXPECT_EQ(OpenSerialLink(*program, host), !c.refused);
        if (c.refused) {
            ASSERT_EQ(host.messages().size(), 1u);
            EXPECT_NE(host.messages()[0].find(": in use by process " + std::to_string(living)), std::string::npos)
                << host.messages()[0];
            EXPECT_EQ(locks.read(lock), c.content);
        } else {
            EXPECT_EQ(locks.read(lock), PidLine(getpid()));
            CloseSerialLink(*program, host);
        }
    }
    kill(living, SIGKILL);
    waitpid(living, nullptr, 0);
}

TEST(SerialOpenFailure, NamesTheDeviceTheReasonAndThePermissionRemedy) {
    struct Case {
        const char* port;
        const char* path;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"Com3", "", ENOENT, "Could not open comm port!\nCom3: no device"},
        {"Com1", "/dev/ttyUSB0", EBUSY, "Could not open comm port!\n/dev/ttyUSB0: Device or resource busy"},
        {"Com1", "/nonexistent/tty", EACCES,
         "Could not open comm port!\n/nonexistent/tty: Permission denied\nAdd your user to the group \"dialout\" "
         "that owns the device (sudo usermod -aG dialout $USER), then log out and in again."},
    };
    for (const auto& c : cases) EXPECT_EQ(SerialOpenFailureText(c.port, c.path, c.code), c.text) << c.path;
}

// A device only its owner may use must not send the technician to the root group.
TEST(SerialOpenFailure, AdvisesTheGroupOnlyWhenItMayReadAndWrite) {
    const struct group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    const unsigned dialoutGid = dialout->gr_gid;
    struct Case {
        unsigned gid;
        unsigned mode;
        bool joinDialout;
    };
    const Case cases[] = {
        {0, S_IFCHR | 0600, false},           // root:root 0600
        {0, S_IFCHR | 0660, false},           // the root group is never advised
        {dialoutGid, S_IFCHR | 0640, false},  // the group may not write
        {dialoutGid, S_IFCHR | 0660, true},
    };
    for (const Case& c : cases) {
        const std::string advice = SerialPermissionAdvice(0, c.gid, c.mode);
        EXPECT_EQ(advice.find("\"root\""), std::string::npos) << advice;
        EXPECT_EQ(advice.find("usermod") != std::string::npos, c.joinDialout) << advice;
        const char* expected = c.joinDialout ? "usermod -aG dialout" : "Only its owner (root) may open the device.";
        EXPECT_NE(advice.find(expected), std::string::npos) << advice;
        EXPECT_EQ(advice.find("udev rule") != std::string::npos, !c.joinDialout) << advice;
    }
}

TEST_F(SerialLink, APortNamedByItsDevicePathOpensThatDevice) {
    Pty pty;
    unsetenv("CORVANE_COM1");
    program->link.commPortName = pty.slaveName;
    EXPECT_EQ(SerialDevicePath(pty.slaveName), pty.slaveName);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    LinkSendRequest(*program);
    EXPECT_EQ(ReadBytes(pty.master, 8), requestBytes());
    CloseSerialLink(*program, host);
}

TEST_F(SerialLink, PortListShowsTheDeviceEachNameMapsTo) {
    Pty pty;
    usePty(pty);
    setenv("CORVANE_COM2", "/nonexistent/tty", 1);
    host.answer(true, "Com1  " + pty.slaveName);
    CommandChangeCommPort(*program, host);
    ASSERT_EQ(host.listItems.size(), 8u);
    EXPECT_EQ(host.listItems[0], "Com1  " + pty.slaveName);
    EXPECT_EQ(host.listItems[1], "Com2  no device");
    EXPECT_EQ(program->link.commPortName, "Com1");
}

TEST(SerialDevicePath, EnvironmentWinsAndOnlyCom1ToCom8HaveDevices) {
    setenv("CORVANE_COM2", "/tmp/some-pty", 1);
    EXPECT_EQ(SerialDevicePath("Com2"), "/tmp/some-pty");
    unsetenv("CORVANE_COM2");
    for (const char* bad : {"", "Com", "Com0", "Com9", "COM1", "com1", "Com12", "Com1 "})
        EXPECT_EQ(SerialDevicePath(bad), "") << bad;
    unsetenv("CORVANE_COM8");
    std::string fallback = SerialDevicePath("Com8");
    if (!fallback.empty()) {
        EXPECT_EQ(fallback.rfind("/dev/tty", 0), 0u);
        EXPECT_EQ(fallback.back(), '7');
    }
}

}  // namespace
}  // namespace linktest

namespace linktest {
namespace {

TEST_F(SerialLink, ALineThatGoesAwayIsClosedAndRecorded) {
    auto pty = std::make_unique<Pty>();
    usePty(*pty);
    ASSERT_TRUE(OpenSerialLink(*program, host));
    // The far end goes away: the pseudo-terminal's master side and the slave the
    // fixture kept open are both closed.
    pty.reset();
    EXPECT_TRUE(WaitFor([&] {
        LinkBytesAvailable(*program);
        return program->link.serialPortOpen == 0;
    }));
    EXPECT_EQ(program->link.linkUp, 0);
    EXPECT_GT(program->errors.count, 0);
    EXPECT_EQ(LinkBytesAvailable(*program), 0);
}

}  // namespace
}  // namespace linktest
