#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <QClipboard>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QAbstractButton>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusBar>

#include "app/window_proc.h"
#include "model/program.h"
#include "qt/client_widget.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"

namespace {

void App() { ASSERT_NE(QApplication::instance(), nullptr); }

struct Shell : ::testing::Test {
    ManualClock clock{LocalTime{2026, 12, 8, 10, 15, 0, 0}};
    std::unique_ptr<Program> program;
    QtHost host;
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        App();
        program = CreateProgram(clock);
        window = std::make_unique<MainWindow>(*program, host);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        window->sendMessage(msg::destroy, 0, 0);
        window.reset();
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(window.get(), &e);
    }
    // Colour at logical pixel (x, y), whatever the image's device pixel ratio.
    QColor pixel(int x, int y) {
        const QImage& image = window->client()->image();
        const qreal ratio = image.devicePixelRatio();
        return image.pixelColor(qRound(x * ratio), qRound(y * ratio));
    }
    bool cellHasInk(int row, int column) {
        for (int y = row * 16 - 14; y < row * 16; ++y)
            for (int x = (column - 1) * 10; x < column * 10; ++x)
                if (pixel(x, y).lightness() < 128) return true;
        return false;
    }
};

}  // namespace

TEST_F(Shell, TitleSizeAndStatusBar) {
    EXPECT_EQ(window->windowTitle(), "Corvane Diagnostics 2.16");
    EXPECT_EQ(window->size(), QSize(808, 600));
    EXPECT_TRUE(window->statusBar()->isSizeGripEnabled());
}

TEST_F(Shell, MenuBarFromTheMenuTable) {
    QStringList titles;
    for (QAction* a : window->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&EditRadio", "&Communication", "&Show", "P&oll Options"}));
    ASSERT_NE(window->actionFor(3075), nullptr);
    EXPECT_EQ(window->actionFor(3075)->text(), "&Save Network File\tF");
    EXPECT_FALSE(window->actionFor(3074)->isEnabled());
    EXPECT_EQ(window->actionFor(150)->text(), "Connect  UDP");
    ASSERT_NE(window->actionFor(3081), nullptr);
    EXPECT_EQ(window->actionFor(3081)->text(), "&About");
}

TEST_F(Shell, KeysAndMenuActionsReachTheWindowProcedure) {
    press(Qt::Key_1);
    EXPECT_EQ(program->display.screenNumber, 1);
    press(Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(program->display.screenNumber, 4);
    window->actionFor(142)->trigger();
    EXPECT_EQ(program->display.screenNumber, 2);
    window->actionFor(3081)->hover();
    EXPECT_EQ(window->statusBar()->currentMessage(), "About Diagnostics 2.16");
}

TEST_F(Shell, PaintPutsCharactersAndLinesWhereTheGridSays) {
    window->client()->invalidate(true);
    window->client()->paintPending();
    // "NONAME.RAD" starts at row 1, column 30; the cell before it stays blank.
    EXPECT_TRUE(cellHasInk(1, 30));
    EXPECT_FALSE(cellHasInk(1, 29));
    // The start bar's grey rectangle runs from x 0 to 260 between y 80 and 94.
    EXPECT_EQ(pixel(100, 87), QColor(0xC0, 0xC0, 0xC0));
    window->sendMessage(msg::keyDown, 51, 0);  // Graphics3
    window->client()->paintPending();
    // Grid line at x = 200 inside the black plot rectangle, grey pen.
    EXPECT_EQ(pixel(200, 300), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(pixel(250, 300), QColor(0, 0, 0));
}

TEST_F(Shell, TimerTicksDrawTheClockIntoTheWindowImage) {
    window->client()->paintPending();
    window->sendMessage(msg::timer, 1, 0);
    // The time of day stands at row 1 from column 73.
    EXPECT_TRUE(cellHasInk(1, 73));
    EXPECT_TRUE(cellHasInk(1, 80));
}

// Menu help comes through the menu itself: Qt's own status tip for the item must
// not wipe what the window shows for it.
TEST_F(Shell, MenuHelpShowsWhileTheMenuIsOpen) {
    struct Case {
        int id;
        const char* help;
    };
    const Case cases[] = {{3081, "About Diagnostics 2.16"}, {3073, "Open existing file"}, {201, ""}};
    for (const Case& c : cases) {
        QAction* action = window->actionFor(c.id);
        ASSERT_NE(action, nullptr);
        QMenu* menu = nullptr;
        for (QObject* o : action->associatedObjects())
            if (auto* m = qobject_cast<QMenu*>(o)) menu = m;
        ASSERT_NE(menu, nullptr);
        QMenuBar* bar = nullptr;
        for (QObject* o : menu->menuAction()->associatedObjects())
            if (auto* b = qobject_cast<QMenuBar*>(o)) bar = b;
        ASSERT_NE(bar, nullptr);
        window->statusBar()->showMessage("before");
        bar->setActiveAction(menu->menuAction());  // opens the menu as a click on its title does
        QApplication::processEvents();
        ASSERT_TRUE(menu->isVisible()) << c.id;
        const QPoint at = menu->actionGeometry(action).center();
        QMouseEvent move(QEvent::MouseMove, at, menu->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(menu, &move);
        QApplication::processEvents();
        EXPECT_EQ(menu->activeAction(), action) << c.id;
        EXPECT_EQ(window->statusBar()->currentMessage(), QString(c.help)) << c.id;
        menu->hide();
        bar->setActiveAction(nullptr);
        QApplication::processEvents();
    }
}

// The status bar's overlap is known before the first paint, so the first layout
// is the one every later resize gives.
TEST(ShellStart, FirstPaintHasTheFinalGeometry) {
    ManualClock clock{LocalTime{2026, 12, 8, 10, 15, 0, 0}};
    std::unique_ptr<Program> program = CreateProgram(clock);
    QtHost host;
    MainWindow window(*program, host);
    window.show();
    QApplication::processEvents();
    window.client()->paintPending();
    const int firstRows = program->display.rowsPerPage;
    const Rect firstClient = program->display.clientRect;
    window.resize(808, 640);
    QApplication::processEvents();
    window.resize(808, 600);
    QApplication::processEvents();
    window.client()->paintPending();
    EXPECT_EQ(program->display.rowsPerPage, firstRows);
    EXPECT_EQ(program->display.clientRect, firstClient);
    window.sendMessage(msg::destroy, 0, 0);
}

// File names cross between Qt and the core as the file system's bytes (UTF-8).
TEST_F(Shell, FileDialogsKeepNonAsciiNames) {
    char dirTemplate[] = "/tmp/corvane-names-XXXXXX";
    ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    // An earlier window's destroy asked the application to quit, which ends every
    // dialog's loop at once; one pass of the main loop clears that.
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromUtf8(dir.c_str()));
    struct Case {
        const char* name;
        bool save;
    };
    const Case cases[] = {{"r\xC3\xA9seau.RAD", false}, {"\xD1\x81\xD0\xB5\xD1\x82\xD1\x8C.RAD", true}};
    for (const Case& c : cases) {
        if (!c.save) std::fclose(std::fopen((dir + "/" + c.name).c_str(), "w"));
        QTimer accept;  // presses OK once the dialog is up, with the name it was given
        int ticks = 0;
        const QString typed = QString::fromUtf8(c.name);  // what the technician types
        bool typedIn = false;
        QObject::connect(&accept, &QTimer::timeout, [&ticks, &typedIn, typed] {
            // A name the dialog cannot find brings up a warning; then give up.
            const bool giveUp = ++ticks > 300;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QDialog*>(w);
                if (!d || !d->isVisible()) continue;
                if (giveUp || !qobject_cast<QFileDialog*>(d))
                    d->reject();
                else if (!typedIn) {
                    if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) edit->setText(typed);
                    typedIn = true;
                } else
                    QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            }
        });
        accept.start(10);
        FileDialogRequest request{"Radio File", "Radio Files|*.RAD|All Files|*.*", "RAD", "NONAME.RAD"};
        std::string path;
        const bool accepted = c.save ? host.saveFileDialog(request, path) : host.openFileDialog(request, path);
        EXPECT_TRUE(accepted) << c.name;
        EXPECT_EQ(path, dir + "/" + c.name);
    }
    QDir::setCurrent(previous);
    std::filesystem::remove_all(dir);
}

// Save Network File replaces a file without asking; the other save dialogs still ask.
TEST_F(Shell, ASaveDialogAsksBeforeReplacingOnlyWhenTold) {
    char dirTemplate[] = "/tmp/corvane-replace-XXXXXX";
    ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    QTimer::singleShot(0, [] { QApplication::exit(0); });  // as above: clear an earlier quit
    QApplication::exec();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromUtf8(dir.c_str()));
    std::fclose(std::fopen((dir + "/old.RAD").c_str(), "w"));
    for (bool ask : {false, true}) {
        bool asked = false;
        bool typedIn = false;
        int ticks = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QDialog*>(w);
                if (!d || !d->isVisible()) continue;
                auto* files = qobject_cast<QFileDialog*>(d);
                if (!files) {
                    asked = true;  // the "replace?" box: say No, then give up
                    d->reject();
                } else if (asked || ++ticks > 300) {
                    d->reject();
                } else if (!typedIn) {
                    if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) edit->setText("old.RAD");
                    typedIn = true;
                } else {
                    QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
                }
            }
        });
        answer.start(10);
        FileDialogRequest request{"Save  File", "Radio Files|*.RAD|All Files|*.*", "RAD", "NONAME.RAD"};
        request.askBeforeReplacing = ask;
        std::string path;
        const bool accepted = host.saveFileDialog(request, path);
        EXPECT_EQ(asked, ask);
        EXPECT_EQ(accepted, !ask);
        if (!ask) {
            EXPECT_EQ(path, dir + "/old.RAD");
        }
    }
    QDir::setCurrent(previous);
    std::filesystem::remove_all(dir);
}

namespace {

QString ClipboardLine(int row) {
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    return row - 1 < lines.size() ? lines[row - 1] : QString();
}

}  // namespace

TEST_F(Shell, CtrlCCopiesTheTextScreenAsShownLiveUpdatesIncluded) {
    window->client()->paintPending();
    window->sendMessage(msg::timer, 1, 0);  // the clock is a live update
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardLine(1).mid(29, 10), "NONAME.RAD");
    EXPECT_EQ(ClipboardLine(1).mid(72, 8), "10:15:00");
    // A graph is not a text screen: the clipboard keeps what it had.
    press(Qt::Key_3);
    QGuiApplication::clipboard()->setText("kept");
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    EXPECT_EQ(program->display.screenNumber, 3);
}

TEST_F(Shell, GraphExportWritesThePaintedImageAsPng) {
    press(Qt::Key_4);
    QTemporaryDir dir;
    const std::string path = dir.filePath("graph.png").toStdString();
    std::string error;
    ASSERT_TRUE(host.saveWindowImage(path, error)) << error;
    const QImage saved(QString::fromStdString(path));
    const QImage shown = window->client()->image().convertToFormat(saved.format());
    EXPECT_EQ(saved.size(), shown.size());
    EXPECT_TRUE(saved == shown);
    EXPECT_FALSE(host.saveWindowImage(dir.filePath("missing/graph.png").toStdString(), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(Shell, WindowShowsTheProgramIcon) {
    QApplication::processEvents();
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

// Run with QT_SCALE_FACTOR=2 (a test of its own in CMake).
using HiDpiShell = Shell;

TEST_F(HiDpiShell, TextIsDrawnAtDeviceResolutionOnTheSameGrid) {
    ASSERT_EQ(window->devicePixelRatio(), 2);
    window->client()->paintPending();
    const QImage grab = window->client()->grab().toImage();
    EXPECT_EQ(grab.size(), 2 * window->client()->size());
    // The grid stays in logical pixels: "NONAME.RAD" still starts at column 30 of row 1.
    EXPECT_TRUE(cellHasInk(1, 30));
    EXPECT_FALSE(cellHasInk(1, 29));
    // A sharp glyph edge jumps from paper to ink between the two device pixels of one
    // logical pixel, which no upscaled copy of a plain-density image can do.
    int sharpEdges = 0;
    for (int y = 2; y < 32; ++y)
        for (int x = 2 * 290; x < 2 * 390; x += 2) {
            const int a = grab.pixelColor(x, y).lightness(), b = grab.pixelColor(x + 1, y).lightness();
            if ((a > 200 && b < 60) || (a < 60 && b > 200)) ++sharpEdges;
        }
    EXPECT_GT(sharpEdges, 0);
}

// The remote-write failure box opens from the event loop, not inside the poll
// timer's handler: Qt does not fire a timer again while its handler waits in a
// modal box, so polling and the minute's "Current.log" go on while it stands.
TEST_F(Shell, PollingGoesOnWhileTheRemoteWriteFailureBoxStands) {
    // An earlier window's destroy asked the application to quit; clear that first.
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());

    // A write whose contact read was never echoed: the next build fails it.
    PollState& poll = program->poll;
    poll.pollMode = PollPhase::fromNumber(45);
    poll.currentRadio = 0;
    poll.writeAddress = 0x0D80;
    poll.pendingAddress = 0x0D80;
    poll.writeValue = poll.pendingValue = 3;
    poll.ackAddress = poll.ackValue = -1;
    poll.requestState = 8;

    QString title, text, buttons;
    bool logWrittenInBox = false, builtInBox = false;
    int randomBefore = -1, checks = 0;
    QEventLoop done;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        const bool giveUp = ++checks > 1000;  // a safety net only
        if (box == nullptr) {
            if (giveUp) done.quit();
            return;
        }
        if (randomBefore < 0) {
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons()) buttons += b->text();
            randomBefore = poll.randomNumber;
            std::filesystem::remove("Current.log");
            clock.setTimeOfDay(10, 16, 0);  // the next minute
            return;
        }
        builtInBox = poll.randomNumber != randomBefore;
        logWrittenInBox = std::filesystem::exists("Current.log");
        if ((builtInBox && logWrittenInBox) || giveUp) {
            box->accept();
            done.quit();
        }
    });
    watch.start(20);
    window->startTimer100();
    done.exec();
    watch.stop();
    QDir::setCurrent(previous);

    EXPECT_EQ(title, "Error");
    EXPECT_EQ(text, "Remote program Failed,No Comm");
    EXPECT_EQ(buttons, "OK");
    EXPECT_TRUE(builtInBox) << "no request was built while the box stood";
    EXPECT_TRUE(logWrittenInBox) << "Current.log was not rewritten while the box stood";
    EXPECT_EQ(poll.pollMode.number(), 1);
}
