// The window's link commands, timer and stop drive the program through its engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/menu_commands.h"
#include "engine/engine.h"
#include "link/link_fixture.h"
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
    }
    bool command(int id) { return OnMenuCommand(*program, host, id); }

    Heard heard;
};

TEST_F(WindowEngine, OpenCommAndCloseCommAreTheEnginesOpenAndClose) {
    linktest::Pty pty;
    setenv("CORVANE_COM1", pty.slaveName.c_str(), 1);
    command(121);
    EXPECT_EQ(heard.lines, Strings{"up"});
    EXPECT_TRUE(DrivingEngine(*program).linkOpen());
    command(120);
    EXPECT_EQ(heard.lines, (Strings{"up", "down the comm port was closed"}));
    EXPECT_FALSE(DrivingEngine(*program).linkOpen());
    EXPECT_TRUE(host.shown.empty());
}

TEST_F(WindowEngine, TheTimerTellsThatTheMasterHungUp) {
    const int listener = linktest::BoundSocket(SOCK_STREAM);
    ASSERT_EQ(listen(listener, 1), 0);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(linktest::LocalPort(listener));
    command(130);
    ASSERT_EQ(heard.lines, Strings{"up"});
    close(accept(listener, nullptr, nullptr));
    linktest::WaitFor([&] {
        WindowProc(*program, host, msg::timer, 1, 0);
        return heard.lines.size() > 1;
    });
    EXPECT_EQ(heard.lines, (Strings{"up", "down the master closed the TCP connection"}));
    close(listener);
}

TEST_F(WindowEngine, TheWindowsStopWritesNoLastCurrentLog) {
    StartProgram(*program);
    program->log.keepEarlierSnapshot = false;  // as once a radio has replied
    StopProgram(*program, host);
    EXPECT_FALSE(FileExists("Current.log"));
    EXPECT_TRUE(host.shown.empty());
}

}  // namespace
