#include <QApplication>

#include "app/program.h"
#include "app/window_proc.h"
#include "platform/clock.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SystemClock clock;
    auto program = CreateProgram(clock);
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
