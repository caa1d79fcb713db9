#include "qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStatusBar>

#include "app/menu_table.h"
#include "app/window_proc.h"
#include "model/program.h"
#include "qt/client_widget.h"
#include "qt/exports.h"
#include "qt/key_map.h"
#include "qt/qt_host.h"
#include "qt/startup.h"

MainWindow::MainWindow(Program& program, QtHost& host) : program(program), host(host) {
    setObjectName("Linkscope");
    setWindowTitle("Corvane Diagnostics 2.16");
    // The icon's images are read once the window is up: reading them first would
    // hold back the window's first appearance.
    QTimer::singleShot(0, this, [this] { setWindowIcon(AppIcon()); });
    host.attach(this);
    clientWidget = new ClientWidget(program, host, this);
    setCentralWidget(clientWidget);
    buildMenus();
    statusBar()->setSizeGripEnabled(true);
    statusBar()->setObjectName("statusBar200");
    resize(808, 600);
    clientWidget->setFocus();
    sendMessage(msg::create, 0, 0);
    connect(&pollTimer, &QTimer::timeout, this, [this] { sendMessage(msg::timer, 1, 0); });
}

MainWindow::~MainWindow() { host.attach(nullptr); }

intptr_t MainWindow::sendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (destroyed) return 0;
    if (message == msg::destroy) {
        destroyed = true;
        pollTimer.stop();
    }
    intptr_t result = WindowProc(program, host, message, wParam, lParam);
    // Live updates draw into the backing image between paints; show them.
    if (message != msg::destroy && clientWidget) clientWidget->update();
    return result;
}

void MainWindow::startTimer100() { pollTimer.start(100); }

void MainWindow::buildMenus() {
    auto addItems = [this](QMenu* menu, const Menu& m) {
        for (const MenuItem& item : m.items) {
            QString text = QString::fromLatin1(item.text.data(), static_cast<qsizetype>(item.text.size()));
            if (!item.shortcut.empty())
                text += "\t" + QString::fromLatin1(item.shortcut.data(), static_cast<qsizetype>(item.shortcut.size()));
            QAction* action = menu->addAction(text);
            action->setData(item.id);
            action->setObjectName(QString("menu%1").arg(item.id));
            action->setEnabled(!item.greyed);
            // Qt sends an item's status tip to the status bar when the item is
            // highlighted; an empty tip would wipe the help text set below.
            const std::string_view help = MenuHelpText(item.id);
            action->setStatusTip(QString::fromLatin1(help.data(), static_cast<qsizetype>(help.size())));
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { sendMessage(msg::command, static_cast<uintptr_t>(id), 0); });
            connect(action, &QAction::hovered, this, [this, id] { sendMessage(msg::menuSelect, static_cast<uintptr_t>(id), 0); });
            if (item.separatorAfter) menu->addSeparator();
        }
    };
    QMenuBar* rightBar = nullptr;
    for (const Menu& m : MainMenu()) {
        QString title = QString::fromLatin1(m.title.data(), static_cast<qsizetype>(m.title.size()));
        QMenu* menu;
        if (m.rightAligned) {
            // The Help menu stands at the right end of the menu bar.
            if (!rightBar) {
                rightBar = new QMenuBar(menuBar());
                menuBar()->setCornerWidget(rightBar, Qt::TopRightCorner);
            }
            menu = rightBar->addMenu(title);
        } else {
            menu = menuBar()->addMenu(title);
        }
        addItems(menu, m);
    }
}

QAction* MainWindow::actionFor(int id) const { return findChild<QAction*>(QString("menu%1").arg(id)); }

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Ctrl+C copies the text screen; a plain C keeps its meaning.
    if (event->matches(QKeySequence::Copy)) {
        if (!CopyScreenText(*clientWidget, program.display.screenNumber)) QApplication::beep();
        return;
    }
    int vk = VirtualKeyFor(event->key(), event->modifiers() & Qt::KeypadModifier);
    if (vk == 0) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    sendMessage(msg::keyDown, static_cast<uintptr_t>(vk), 0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    sendMessage(msg::destroy, 0, 0);
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    updateOverlap();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The first resize comes before the status bar is laid out; measure it again
    // now, before the first paint.
    updateOverlap();
}

// The status bar overlaps the bottom of the client area, as the status lines expect.
void MainWindow::updateOverlap() {
    QStatusBar* bar = statusBar();
    int overlap = 0;
    if (bar->isVisible())
        overlap = bar->height();
    else if (!bar->isHidden())
        overlap = bar->sizeHint().height();  // shown with the window, not laid out yet
    clientWidget->setOverlapBelow(overlap);
}
