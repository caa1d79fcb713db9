#include "qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QUrl>

#include "app/menu_table.h"
#include "app/window_proc.h"
#include "files/file_safety.h"
#include "model/program.h"
#include "platform/ids.h"
#include "qt/client_widget.h"
#include "qt/exports.h"
#include "qt/key_map.h"
#include "qt/qt_host.h"
#include "qt/settings.h"
#include "qt/startup.h"

namespace {

// Paths are the file system's bytes on the core's side.
QString QPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QStringList DefaultUserGuideCandidates() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    return {"/usr/share/doc/corvane-diagnostics/manual/index.html",
            exeDir + "/../share/doc/corvane-diagnostics/manual/index.html",  // another install prefix
            exeDir + "/../docs/manual/index.html"};                          // beside the build
}

constexpr int kMinimumWidth = 808;
constexpr int kMinimumHeight = 600;

}  // namespace

MainWindow::MainWindow(Program& program, QtHost& host, ShellSettings* settings)
    : program(program), host(host), settings(settings), userGuideCandidates(DefaultUserGuideCandidates()) {
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
    // Narrower or lower, the screens' columns would be cut off.
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(808, 600);
    if (settings && !settings->windowGeometry().isEmpty()) restoreGeometry(settings->windowGeometry());
    clientWidget->setFocus();
    sendMessage(msg::create, 0, 0);
    shownNetworkFile = program.network.networkFileName;
    // Last session's link settings are offered, never opened.
    if (settings) settings->restoreLink(program.link);
    connect(&pollTimer, &QTimer::timeout, this, [this] { sendMessage(msg::timer, 1, 0); });
}

MainWindow::~MainWindow() {
    rememberSession();
    host.attach(nullptr);
}

void MainWindow::rememberSession() {
    if (!settings) return;
    settings->rememberLink(program.link);
    settings->setWindowGeometry(saveGeometry());
    settings->sync();
}

intptr_t MainWindow::sendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (destroyed) return 0;
    if (message == msg::destroy) {
        destroyed = true;
        pollTimer.stop();
    }
    intptr_t result = WindowProc(program, host, message, wParam, lParam);
    if (program.network.networkFileName != shownNetworkFile) noteNetworkFile();
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
            // The desktop's usual keys beside the ones the menu shows; what the menu
            // shows works too (F1, Alt+F4 where no window manager takes it).
            switch (id) {
                case menu::openNetworkFile: action->setShortcut(QKeySequence::Open); break;
                case menu::saveNetworkFile: action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S)); break;
                case menu::exit:
                    action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)});
                    break;
                case menu::help: action->setShortcut(QKeySequence(Qt::Key_F1)); break;
                default: break;
            }
            connect(action, &QAction::triggered, this, [this, id] { sendMessage(msg::command, static_cast<uintptr_t>(id), 0); });
            connect(action, &QAction::hovered, this, [this, id] { sendMessage(msg::menuSelect, static_cast<uintptr_t>(id), 0); });
            if (item.separatorAfter) menu->addSeparator();
        }
    };
    QMenuBar* rightBar = nullptr;
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
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
        if (!fileMenu) fileMenu = menu;
        if (m.rightAligned) helpMenu = menu;
    }
    addShellItems(fileMenu, helpMenu);
}

// Items of this window's own, after the menu's: the recent network files and the guide.
void MainWindow::addShellItems(QMenu* file, QMenu* help) {
    if (file) {
        file->addSeparator();
        recentMenu = file->addMenu("Open Rec&ent");
        recentMenu->setObjectName("menuOpenRecent");
        recentMenu->menuAction()->setObjectName("menuOpenRecentItem");
        fillRecentMenu();
    }
    if (help) {
        QAction* guide = help->addAction("&User Guide");
        guide->setObjectName("menuUserGuide");
        guide->setStatusTip("The manual for technicians; see also man corvane-diagnostics and man corvane-monitor");
        connect(guide, &QAction::triggered, this, &MainWindow::showUserGuide);
    }
}

void MainWindow::fillRecentMenu() {
    if (!recentMenu) return;
    recentMenu->clear();
    const QStringList files = settings ? settings->recentFiles() : QStringList();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QString text = QFileInfo(path).fileName() + "  " + QDir::toNativeSeparators(QFileInfo(path).absolutePath());
        text.replace('&', "&&");
        if (i < 9) text.prepend(QString("&%1 ").arg(i + 1));
        QAction* action = recentMenu->addAction(text);
        action->setData(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, path] { openNetworkFile(path); });
    }
    recentMenu->menuAction()->setEnabled(!files.isEmpty());
}

void MainWindow::openNetworkFile(const QString& path) {
    host.answerNextOpenDialog(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
    sendMessage(msg::command, static_cast<uintptr_t>(menu::openNetworkFile), 0);
    host.answerNextOpenDialog({});
}

void MainWindow::noteNetworkFile() {
    shownNetworkFile = program.network.networkFileName;
    const QFileInfo file(QPath(shownNetworkFile));
    // New Network gives back "NONAME.RAD", a name without a folder: nothing moves.
    if (shownNetworkFile.find('/') == std::string::npos || !file.exists()) return;
    const QString folder = file.absolutePath();
    // The logs, CSV files and reports of a site go beside its network file.
    if (QDir::setCurrent(folder)) program.log.workFolder = QFile::encodeName(folder).toStdString();
    if (!settings) return;
    settings->addRecentFile(file.absoluteFilePath());
    settings->setWorkFolder(folder);
    settings->sync();
    fillRecentMenu();
}

void MainWindow::showUserGuide() {
    for (const QString& candidate : userGuideCandidates) {
        const QFileInfo page(candidate);
        if (!page.isFile()) continue;
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(page.canonicalFilePath()))) {
            statusBar()->showMessage("User Guide: " + page.canonicalFilePath() +
                                     "  (also: man corvane-diagnostics, man corvane-monitor)");
            return;
        }
        QMessageBox::warning(this, "User Guide",
                             "No browser could show the user guide.\nOpen " + page.canonicalFilePath() +
                                 " yourself, or read man corvane-diagnostics and man corvane-monitor.");
        return;
    }
    QMessageBox::warning(this, "User Guide",
                         "The user guide is not installed (it belongs at " + userGuideCandidates.value(0) +
                             ").\nThe man pages tell the same in short: man corvane-diagnostics, man corvane-monitor.");
}

QAction* MainWindow::actionFor(int id) const { return findChild<QAction*>(QString("menu%1").arg(id)); }

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Ctrl+C copies the text screen; a plain C keeps its meaning.
    if (event->matches(QKeySequence::Copy)) {
        if (!CopyScreenText(*clientWidget, program.display.screenNumber)) QApplication::beep();
        return;
    }
    // With Ctrl, Alt or the logo key held a key is a shortcut of the desktop's, never
    // the bare key: Ctrl+F must not save the network file.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QMainWindow::keyPressEvent(event);
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
