#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/window_proc.h"
#include "model/program.h"
#include "platform/clock.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "qt/startup.h"

namespace {

const char* const kHelp =
    "Usage: corvane-diagnostics [--help | --version]\n"
    "\n"
    "Diagnostics for a spread-spectrum radio-modem network: polls the radios through\n"
    "the master radio over a serial port, TCP, UDP or a dial-up modem and shows their\n"
    "signal, noise, temperature, voltage and setup on five screens of one window.\n"
    "Everything else is chosen in the window's menus. Files (network files, logs,\n"
    "reports) are read from and written to the current directory.\n"
    "\n"
    "Serial ports Com1..Com8 are the first of /dev/ttyUSB<N-1>, /dev/ttyACM<N-1>,\n"
    "/dev/ttyS<N-1> that exists; CORVANE_COM<N>=DEVICE overrides one.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's version\n";

// Answers --help and --version without opening a window. Returns -1 to go on.
int AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane-diagnostics %s\n", CORVANE_VERSION);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (int code = AnswerCommandLine(argc, argv); code >= 0) return code;
    SystemClock clock;
    std::unique_ptr<Program> program;
    StartupWork startup;
    // The tables (about 13 MB, every page written) are made while Qt connects to the display.
    startup.alongside([&] { program = CreateProgram(clock); });
    QApplication app(argc, argv);
    startup.finish();
    StartProgram(*program);
    QtHost host;
    int code = 0;
    {
        MainWindow window(*program, host);
        window.show();
        window.startTimer100();
        code = app.exec();
        if (!host.quitRequested()) window.sendMessage(msg::destroy, 0, 0);
    }
    StopProgram(*program, host);
    return code;
}
