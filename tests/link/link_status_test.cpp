#include <functional>

#include "link_fixture.h"

namespace linktest {
namespace {

// A link whose far end goes away shows "No Connection" by the next tick: the tick
// repaints the status line (erasing, so no letters of the old status remain).
class LinkStatus : public LinkTest {
protected:
    void TearDown() override {
        LinkTest::TearDown();
        if (peer >= 0) close(peer);
        if (listener >= 0) close(listener);
    }
    int listener = -1;
    int peer = -1;
};

TEST_F(LinkStatus, ALinkThatClosesItselfIsRepaintedWithinOneTick) {
    std::unique_ptr<Pty> pty;
    struct Case {
        const char* name;
        std::function<void()> open;
        std::function<void()> drop;
    };
    const Case cases[] = {
        {"serial adapter unplugged",
         [&] {
             pty = std::make_unique<Pty>();
             usePty(*pty);
             ASSERT_TRUE(OpenSerialLink(*program, host));
         },
         [&] { pty.reset(); }},
        {"TCP peer hung up",
         [&] {
             listener = BoundSocket(SOCK_STREAM);
             listen(listener, 1);
             program->link.ipAddressText = "127.0.0.1";
             program->link.portText = std::to_string(LocalPort(listener));
             ASSERT_TRUE(OpenTcpLink(*program));
             peer = accept(listener, nullptr, nullptr);
         },
         [&] {
             close(peer);
             peer = -1;
             ASSERT_TRUE(WaitFor([&] { return LinkFarEndGone(program->link); }));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.open();
        WindowProc(*program, host, msg::timer, 1, 0);
        const int before = host.erasingInvalidations;
        c.drop();
        WindowProc(*program, host, msg::timer, 1, 0);
        EXPECT_EQ(program->link.serialPortOpen, 0);
        EXPECT_EQ(program->link.linkKind, kLinkSerial);
        EXPECT_EQ(host.erasingInvalidations, before + 1);
        CloseAllLinks(*program, host);
    }
}

}  // namespace
}  // namespace linktest
