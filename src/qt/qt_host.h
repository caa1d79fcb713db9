#pragma once
#include <QPointer>
#include <QSocketNotifier>
#include <memory>

#include "platform/host.h"

class MainWindow;
class QDialog;

// The window-side services, with real dialogs.
class QtHost : public Host {
public:
    void attach(MainWindow* window) { this->window = window; }

    void invalidate(bool erase) override;
    void update() override;
    Canvas* windowCanvas() override;
    void setStatusText(const std::string& text) override;
    void messageBox(const std::string& text, const std::string& title) override;
    void postMessageBox(const std::string& text, const std::string& title) override;
    void beep() override;
    bool prompt(const std::string& title, std::string& text) override;
    bool listDialog(const std::string& title, const std::vector<std::string>& items, int preselected,
                    std::string& chosen) override;
    bool commPortDialog(const std::vector<std::string>& ports, int preselected, const std::string& current,
                        std::string& chosen) override;
    bool subnetDialog(const std::string& title, std::string& rx, std::string& tx) override;
    bool redialDialog(const std::string& title) override;
    void showDialing(bool shown) override;
    void pumpEvents() override;
    bool openFileDialog(const FileDialogRequest& request, std::string& path) override;
    bool saveFileDialog(const FileDialogRequest& request, std::string& path) override;
    bool saveWindowImage(const std::string& path, std::string& error) override;
    void aboutDialog() override;
    void watchUdpSocket(int fd) override;
    void quit(int exitCode) override;

    bool quitRequested() const { return quitCalled; }
    // The next open-file dialog answers `path` at once instead of asking, so a file
    // named elsewhere (command line, recent files) opens as Open Network File does.
    void answerNextOpenDialog(const std::string& path) { nextOpenPath = path; }

private:
    MainWindow* window = nullptr;
    QPointer<QDialog> dialing;
    std::unique_ptr<QSocketNotifier> udpNotifier;
    bool quitCalled = false;
    std::string nextOpenPath;
};
