// The engine as a shell drives it: open results and the events it tells.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <thread>

#include "engine/engine.h"
#include "engine/poll_cycle_fixture.h"
#include "link/link_fixture.h"
#include "support/log_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// Writes down what the engine tells, one line each.
class Recorder : public EngineListener {
public:
    void linkUp(const LinkDescription&) override { lines.push_back("up"); }
    void linkDown(const std::string& why) override { lines.push_back("down " + why); }
    void radioAdded(int slot) override { lines.push_back("added " + std::to_string(slot)); }
    void faultRecorded(ProtocolError::Kind kind, int code, int) override {
        if (kind == ProtocolError::Kind::Fault) lines.push_back("fault " + std::to_string(code));
    }
    void fileWritten(const std::string& name) override { lines.push_back("written " + name); }
    bool has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    std::vector<std::string> lines;
};

LinkDescription Serial(const std::string& device) {
    LinkDescription link;
    link.device = device;
    return link;
}

LinkDescription Tcp(const std::string& port) {
    LinkDescription link;
    link.kind = LinkDescription::Kind::tcp;
    link.host = "127.0.0.1";
    link.port = port;
    return link;
}

TEST(Engine, AnOpenThatFailsSaysWhatAndWhereAndNoLinkComesUp) {
    const int closedPort = linktest::BoundSocket(SOCK_STREAM);  // bound, not listening: refused
    const std::string refused = std::to_string(linktest::LocalPort(closedPort));
    struct Case {
        LinkDescription link;
        int error;
        std::string where;
        std::string sentence;
    };
    const Case cases[] = {
        {Serial("/dev/corvane-no-such-port"), ENOENT, "/dev/corvane-no-such-port",
         "Could not open comm port!\n/dev/corvane-no-such-port: No such file or directory"},
        {Serial("/dev/null"), ENOTTY, "/dev/null",
         "Could not open comm port!\n/dev/null: Inappropriate ioctl for device"},
        {Serial("Com9"), ENOENT, "", "Could not open comm port!\nCom9: no device"},
        {Tcp(refused), ECONNREFUSED, "127.0.0.1:" + refused,
         "Could not connect to 127.0.0.1:" + refused + ": Connection refused"},
        {Tcp("http"), EINVAL, "127.0.0.1:http", "Could not connect to 127.0.0.1:http: Invalid argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        ManualClock clock;
        Engine engine(clock);
        Recorder events;
        engine.subscribe(events);
        const LinkResult result = engine.open(c.link);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.cancelled);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.where, c.where);
        EXPECT_EQ(result.sentence, c.sentence);
        EXPECT_FALSE(engine.linkOpen());
        EXPECT_TRUE(events.lines.empty());
    }
    close(closedPort);
}

// A master on TCP sends a radio's reply and a broken frame, the minute turns, and
// the master hangs up: each is told once.
TEST(Engine, TellsLinkUpRadiosFaultsFilesAndLinkDown) {
    TemporaryDirectory directory;
    const int listener = linktest::BoundSocket(SOCK_STREAM);
    ASSERT_EQ(listen(listener, 1), 0);
    ManualClock clock;
    clock.setTimeOfDay(10, 0, 30);
    Engine engine(clock);
    Recorder events;
    engine.subscribe(events);
    engine.start(directory.path());
    ASSERT_TRUE(engine.open(Tcp(std::to_string(linktest::LocalPort(listener)))).ok);
    const int master = accept(listener, nullptr, nullptr);
    ASSERT_GE(master, 0);

    Frame bytes = DiagnosticsReply(0xF8, 0x2A0001, 0x0D80, 3);
    Frame broken = DiagnosticsReply(0xF8, 0x2A0002, 0x0D80, 3);
    broken.back() ^= 0x55;
    bytes.insert(bytes.end(), broken.begin(), broken.end());
    ASSERT_EQ(send(master, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    for (int i = 0; i < 200 && !(events.has("added 1") && events.has("fault 22")); ++i) {
        engine.tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    clock.setTimeOfDay(10, 1, 0);
    engine.tick();
    close(master);
    for (int i = 0; i < 200 && engine.linkOpen(); ++i) {
        engine.tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.stop();
    close(listener);
    EXPECT_EQ(events.lines,
              (std::vector<std::string>{"up", "added 1", "fault 22", "written Current.log",
                                        "down the master closed the TCP connection", "written Current.log"}));
}

// An engine made for a program watched already (a window's): the watcher still
// hears every fault and file, beside the listeners, and has the program back after.
TEST(Engine, ADrivenProgramsEarlierWatcherStillHearsFaultsAndFiles) {
    TemporaryDirectory directory;
    ManualClock clock;
    clock.setTimeOfDay(10, 0, 30);
    auto program = std::make_unique<Program>();
    SetUpProgram(*program, clock);
    ApplyStartDefaults(*program);
    Strings watched;
    program->errors.observer = [](void* context, ProtocolError::Kind, int code, int) {
        static_cast<Strings*>(context)->push_back("fault " + std::to_string(code));
    };
    program->errors.observerContext = &watched;
    program->log.fileObserver = [](void* context, const std::string& name, int) {
        static_cast<Strings*>(context)->push_back("file " + name);
    };
    program->log.fileObserverContext = &watched;
    Recorder events;
    {
        Engine engine(*program);
        engine.subscribe(events);
        RecordFault(program->errors, ProtocolFault::MasterStatusBadCheck, 0);
        program->log.keepEarlierSnapshot = false;
        program->log.lastLogMinute = -1;  // a new minute: Current.log is written
        engine.tick();
    }
    RecordFault(program->errors, ProtocolFault::UnknownFrameType, 0);
    EXPECT_EQ(events.lines, (Strings{"fault 20", "written Current.log"}));
    EXPECT_EQ(watched, (Strings{"fault 20", "file Current.log", "fault 1"}));
}

}  // namespace
