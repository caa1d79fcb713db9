#include "qt/startup.h"

#include <QGuiApplication>

void PrepareQtStart() {
    QCoreApplication::setApplicationName("corvane-diagnostics");
    QCoreApplication::setApplicationVersion(CORVANE_VERSION);
    QCoreApplication::setOrganizationName("Corvane");
    // Lets the desktop match the window to its menu entry (and so to its icon).
    QGuiApplication::setDesktopFileName("com.corvane.Diagnostics");
}

QIcon AppIcon() {
    Q_INIT_RESOURCE(icons);  // the icons live in a static library
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}
