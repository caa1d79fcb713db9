#pragma once
#include "engine/engine.h"
#include "link/links.h"
#include "platform/host.h"

struct Program;

// The engine's questions answered by the window: prompts, the "Dialing" box, the
// REDIAL/CANCEL dialog, the UDP socket watch and the box of a failed remote write.
class WindowQuestions : public EngineQuestions {
public:
    explicit WindowQuestions(Host& host) : host(host) {}
    bool phoneNumber(std::string& number) override { return host.prompt("Phone Number To Dial", number); }
    bool udpPassword(std::string& password) override {
        return host.prompt("UDP PassWord Leave Blank For None", password);
    }
    bool redial(const std::string& title) override { return host.redialDialog(title); }
    void dialing(bool shown) override { host.showDialing(shown); }
    void waiting() override { host.pumpEvents(); }
    void notice(const std::string& text, const std::string& title) override { host.messageBox(text, title); }
    void watchUdpSocket(int fd) override { host.watchUdpSocket(fd); }
    void remoteWriteFailed(const std::string& text, const std::string& title) override {
        host.postMessageBox(text, title);
    }

private:
    Host& host;
};

// The window's engine with the window answering its questions while a command runs;
// the questions asked before come back at the end (a close inside the dial-up wait).
class WindowAsks {
public:
    WindowAsks(Program& program, Host& host);
    ~WindowAsks();
    WindowAsks(const WindowAsks&) = delete;
    WindowAsks& operator=(const WindowAsks&) = delete;

    Engine& engine;

private:
    WindowQuestions questions;
    EngineQuestions* before;
};

// The window's link steps, through its engine, with their failures shown in a box.
bool OpenSerialLink(Program& program, Host& host);
void CloseSerialLink(Program& program, Host& host);
void OpenUdpLink(Program& program, Host& host);
void CloseUdpLink(Program& program, Host& host);
void DialUp(Program& program, Host& host);
// Closes whichever link is open through the window's engine.
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
