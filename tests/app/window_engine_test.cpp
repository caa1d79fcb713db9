// The window's link commands, timer and stop drive the program through its engine.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/link_commands.h"
#include "app/menu_commands.h"
#include "engine/engine.h"
#include "model/program.h"
#include "support/log_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class Heard : public EngineListener {
public:
    void linkUp(const LinkDescription&) override { lines.push_back("up"); }
    void linkDown(const std::string& why) override { lines.push_back("down " + why); }
    Strings lines;
};

class WindowEngine : public FileFixture {
protected:
    WindowEngine() { DrivingEngine(*program).subscribe(heard); }
    ~WindowEngine() override {
        CloseAllLinks(*program, host);
        unsetenv("CORVANE_COM1");
        for (int fd : {master, slave, listener})
            if (fd >= 0) close(fd);
    }
    bool command(int id) { return OnMenuCommand(*program, host, id); }
    // A loopback listener whose address the window's program holds.
    void listenOnLoopback() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
        program->link.ipAddressText = "127.0.0.1";
        program->link.portText = std::to_string(ntohs(address.sin_port));
    }

    Heard heard;
    int master = -1;
    int slave = -1;
    int listener = -1;
};

TEST_F(WindowEngine, OpenCommAndCloseCommAreTheEnginesOpenAndClose) {
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    setenv("CORVANE_COM1", name, 1);
    command(121);
    EXPECT_EQ(heard.lines, Strings{"up"});
    EXPECT_TRUE(DrivingEngine(*program).linkOpen());
    command(120);
    EXPECT_EQ(heard.lines, (Strings{"up", "down the comm port was closed"}));
    EXPECT_FALSE(DrivingEngine(*program).linkOpen());
    EXPECT_TRUE(host.shown.empty());
}

TEST_F(WindowEngine, TheTimerTellsThatTheMasterHungUp) {
    listenOnLoopback();
    command(130);
    ASSERT_EQ(heard.lines, Strings{"up"});
    master = accept(listener, nullptr, nullptr);
    ASSERT_GE(master, 0);
    close(master);
    master = -1;
    for (int i = 0; i < 200 && heard.lines.size() < 2; ++i) {
        WindowProc(*program, host, msg::timer, 1, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(heard.lines, (Strings{"up", "down the master closed the TCP connection"}));
}

TEST_F(WindowEngine, TheWindowsStopWritesNoLastCurrentLog) {
    StartProgram(*program);
    program->log.keepEarlierSnapshot = false;  // as once a radio has replied
    StopProgram(*program, host);
    EXPECT_FALSE(FileExists("Current.log"));
    EXPECT_TRUE(host.shown.empty());
}

}  // namespace
