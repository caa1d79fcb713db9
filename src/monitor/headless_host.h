#pragma once
#include <functional>
#include <string>

#include "platform/host.h"

// The window-side services without a window: prompts are answered from the
// command line, message boxes become log lines, nothing is painted.
class HeadlessHost : public Host {
public:
    // Answers to the prompts the link commands ask, by the prompt's title.
    std::string phoneNumber;
    std::string udpPassword;
    // Where message boxes and other notices go (one line each).
    std::function<void(const std::string&)> notice = [](const std::string&) {};
    // Called while the dial-up wait holds the main thread.
    std::function<void()> whileWaiting = [] {};

    int udpSocket() const { return udpFd; }
    bool quitRequested() const { return quitAsked; }
    int exitCode() const { return quitCode; }
    const std::string& lastMessage() const { return lastText; }
    void clearLastMessage() { lastText.clear(); }

    void invalidate(bool) override {}
    void update() override {}
    Canvas* windowCanvas() override { return nullptr; }
    void setStatusText(const std::string&) override {}
    void messageBox(const std::string& text, const std::string& title) override;
    void beep() override {}
    bool prompt(const std::string& title, std::string& text) override;
    bool listDialog(const std::string&, const std::vector<std::string>&, int, std::string&) override { return false; }
    bool subnetDialog(const std::string&, std::string&, std::string&) override { return false; }
    // A busy line or missing dial tone is retried by the monitor's own reconnect.
    bool redialDialog(const std::string& title) override;
    void showDialing(bool) override {}
    void pumpEvents() override { whileWaiting(); }
    bool openFileDialog(const FileDialogRequest&, std::string&) override { return false; }
    bool saveFileDialog(const FileDialogRequest&, std::string&) override { return false; }
    void aboutDialog() override {}
    void watchUdpSocket(int fd) override { udpFd = fd; }
    void quit(int code) override {
        quitAsked = true;
        quitCode = code;
    }

private:
    int udpFd = -1;
    bool quitAsked = false;
    int quitCode = 0;
    std::string lastText;
};
