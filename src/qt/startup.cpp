#include "qt/startup.h"

#include <fontconfig/fontconfig.h>

#include <QGuiApplication>
#include <thread>
#include <vector>

struct StartupWork::Threads {
    std::vector<std::jthread> running;
};

StartupWork::StartupWork() : threads(std::make_unique<Threads>()) {
    QCoreApplication::setApplicationName("corvane-diagnostics");
    QCoreApplication::setApplicationVersion(CORVANE_VERSION);
    QCoreApplication::setOrganizationName("Corvane");
    // Lets the desktop match the window to its menu entry (and so to its icon).
    QGuiApplication::setDesktopFileName("com.corvane.Diagnostics");
    // Reading the font configuration (dozens of files and the font caches) is the
    // longest single step before the first window; the menus and the text grid need
    // it, the display connection does not. Qt finds it loaded when it asks.
    alongside([] { FcInit(); });
}

StartupWork::~StartupWork() { finish(); }

void StartupWork::alongside(std::function<void()> work) { threads->running.emplace_back(std::move(work)); }

void StartupWork::finish() { threads->running.clear(); }

QIcon AppIcon() {
    Q_INIT_RESOURCE(icons);  // the icons live in a static library
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}
