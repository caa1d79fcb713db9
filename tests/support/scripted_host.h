#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/host.h"

// A Host whose dialogs answer from a script and which records what was shown.
class ScriptedHost : public Host {
public:
    struct Answer {
        bool ok = true;
        std::string text;   // prompt text / chosen list line / file path
        std::string text2;  // subnet dialog: tx box
    };
    struct Shown {
        std::string kind;  // "prompt", "list", "subnet", "redial", "message", "open", "save", "about"
        std::string title;
        std::string text;  // prompt pre-fill, message text, file initial name
    };

    // Queue the answer of the next dialog (any kind).
    void answer(bool ok, std::string text = {}, std::string text2 = {});
    // A dialog with nothing queued answers Cancel.

    void invalidate(bool erase) override;
    void update() override { ++updates; }
    Canvas* windowCanvas() override { return canvas; }
    void setStatusText(const std::string& text) override { statusText = text; }
    void messageBox(const std::string& text, const std::string& title) override;
    // Runs while a message box is open, as the window's modal loop would run messages.
    std::function<void()> duringMessageBox;
    void beep() override { ++beeps; events.push_back("beep"); }
    bool prompt(const std::string& title, std::string& text) override;
    bool listDialog(const std::string& title, const std::vector<std::string>& items, int preselected,
                    std::string& chosen) override;
    bool subnetDialog(const std::string& title, std::string& rx, std::string& tx) override;
    bool redialDialog(const std::string& title) override;
    void showDialing(bool shown) override;
    void pumpEvents() override { ++pumps; }
    bool openFileDialog(const FileDialogRequest& request, std::string& path) override;
    bool saveFileDialog(const FileDialogRequest& request, std::string& path) override;
    void aboutDialog() override { shown.push_back({"about", "", ""}); }
    void watchUdpSocket(int fd) override { watchedUdpSocket = fd; }
    void quit(int exitCode) override {
        quitCalled = true;
        quitCode = exitCode;
    }

    // Messages boxes shown, as "title: text".
    std::vector<std::string> messages() const;

    Canvas* canvas = nullptr;
    std::deque<Answer> answers;
    std::vector<Shown> shown;
    std::vector<std::string> events;  // "beep", "message:<title>:<text>", "invalidate:erase" ...
    std::vector<FileDialogRequest> fileRequests;
    std::vector<std::string> listItems;
    int listPreselected = -1;
    std::string statusText;
    int beeps = 0;
    int invalidations = 0;
    int erasingInvalidations = 0;
    int updates = 0;
    int pumps = 0;
    int watchedUdpSocket = -1;
    bool dialingShown = false;
    bool quitCalled = false;
    int quitCode = -1;

private:
    Answer next();
};
