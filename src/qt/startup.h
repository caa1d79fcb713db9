#pragma once
#include <QIcon>
#include <functional>
#include <memory>

// Start-up work that needs no display, run beside the application object's
// connection to the display instead of before or after it.
class StartupWork {
public:
    // Sets the program's identity for Qt and starts reading the font configuration.
    StartupWork();
    ~StartupWork();
    StartupWork(const StartupWork&) = delete;
    StartupWork& operator=(const StartupWork&) = delete;
    // Runs `work` on a thread of its own now; finish() waits for it.
    void alongside(std::function<void()> work);
    // Waits for everything started; call before the first window is made.
    void finish();

private:
    struct Threads;
    std::unique_ptr<Threads> threads;
};

// The program's icon in every size it is drawn at.
QIcon AppIcon();
