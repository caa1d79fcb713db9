#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/window_proc.h"
#include "model/program.h"
#include "platform/clock.h"
#include "qt/command_line.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "qt/settings.h"
#include "qt/startup.h"

namespace {

const char* const kHelp =
    "Usage: corvane-diagnostics [--help | --version] [NETWORK-FILE.RAD]\n"
    "\n"
    "Diagnostics for a spread-spectrum radio-modem network: polls the radios through\n"
    "the master radio over a serial port, TCP, UDP or a dial-up modem and shows their\n"
    "signal, noise, temperature, voltage and setup on five screens of one window.\n"
    "Everything else is chosen in the window's menus.\n"
    "\n"
    "NETWORK-FILE.RAD is opened as File > Open Network File opens it. Files (logs,\n"
    "CSV files, reports) are written to the work folder: the folder of the network\n"
    "file opened or saved last; before that, the current directory when started from\n"
    "a terminal, or, started from the desktop menu, the folder used last (at first\n"
    "\"Corvane Diagnostics\" in the documents folder).\n"
    "\n"
    "Serial ports Com1..Com8 are the first of /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>,\n"
    "/dev/ttyS<N-1> that exists; CORVANE_COM<N>=DEVICE overrides one. Communication >\n"
    "Chg Comm port also lists the serial devices present and takes any device path.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's version\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered without a window (and without a display).
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.action) {
        case CommandLine::Action::help: std::fputs(kHelp, stdout); return 0;
        case CommandLine::Action::version: std::printf("corvane-diagnostics %s\n", CORVANE_VERSION); return 0;
        case CommandLine::Action::usage:
            std::fprintf(stderr, "corvane-diagnostics: %s\n%s", line.problem.c_str(), UsageLine());
            return 2;
        case CommandLine::Action::run: break;
    }
    SystemClock clock;
    std::unique_ptr<Program> program;
    StartupWork startup;
    // The tables (about 13 MB, every page written) are made while Qt connects to the display.
    startup.alongside([&] { program = CreateProgram(clock); });
    QApplication app(argc, argv);
    startup.finish();
    // The file named is found where it was given, before the work folder moves.
    const QString networkFile = line.networkFile.empty()
                                    ? QString()
                                    : QFileInfo(QFile::decodeName(line.networkFile.c_str())).absoluteFilePath();
    ShellSettings settings;
    EnterStartWorkFolder(settings.workFolder());
    // Only now: the run's files go into the folder it has entered.
    StartProgram(*program);
    QtHost host;
    int code = 0;
    {
        MainWindow window(*program, host, &settings);
        window.show();
        window.startTimer100();
        if (!networkFile.isEmpty()) QTimer::singleShot(0, &window, [&] { window.openNetworkFile(networkFile); });
        code = app.exec();
        if (!host.quitRequested()) window.sendMessage(msg::destroy, 0, 0);
    }
    StopProgram(*program, host);
    return code;
}
