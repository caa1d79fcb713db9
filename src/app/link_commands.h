#pragma once
#include "link/links.h"
#include "platform/host.h"

struct Program;

// The link's questions answered by the window: prompts, the "Dialing" box, the
// REDIAL/CANCEL dialog and the UDP socket watch.
class HostLinkQuestions : public LinkQuestions {
public:
    explicit HostLinkQuestions(Host& host) : host(host) {}
    bool phoneNumber(std::string& number) override { return host.prompt("Phone Number To Dial", number); }
    bool udpPassword(std::string& password) override {
        return host.prompt("UDP PassWord Leave Blank For None", password);
    }
    bool redial(const std::string& title) override { return host.redialDialog(title); }
    void dialing(bool shown) override { host.showDialing(shown); }
    void waiting() override { host.pumpEvents(); }
    void notice(const std::string& text, const std::string& title) override { host.messageBox(text, title); }
    void watchUdpSocket(int fd) override { host.watchUdpSocket(fd); }

private:
    Host& host;
};

// The window's link steps: the link layer's, with its failures shown in a box.
bool OpenSerialLink(Program& program, Host& host);
void CloseSerialLink(Program& program, Host& host);
void OpenUdpLink(Program& program, Host& host);
void CloseUdpLink(Program& program, Host& host);
void DialUp(Program& program, Host& host);
void CloseAllLinks(Program& program, Host& host);
// Message 961, drawing its readout on the window's canvas when no tick holds one.
void OnUdpReadable(Program& program, Host& host);

// Communication menu commands.
void CommandChangeCommPort(Program& program, Host& host);   // 119
void CommandCloseComm(Program& program, Host& host);        // 120
void CommandOpenComm(Program& program, Host& host);         // 121
void CommandChangeIpAddress(Program& program, Host& host);  // 129
void CommandConnectTcp(Program& program, Host& host);       // 130
void CommandCloseTcpUdp(Program& program, Host& host);      // 131
void CommandConnectUdp(Program& program, Host& host);       // 150
void CommandConnectDialup(Program& program, Host& host);    // 200
