#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStatusBar>

#include "app/program.h"
#include "app/window_proc.h"
#include "qt/client_widget.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"

namespace {

void app() { ASSERT_NE(QApplication::instance(), nullptr); }

struct Shell : ::testing::Test {
    ManualClock clock{LocalTime{2026, 12, 8, 10, 15, 0, 0}};
    std::unique_ptr<Program> program;
    QtHost host;
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        app();
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

namespace {

QString clipboardLine(int row) {
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    return row - 1 < lines.size() ? lines[row - 1] : QString();
}

}  // namespace

TEST_F(Shell, CtrlCCopiesTheTextScreenAsShownLiveUpdatesIncluded) {
    window->client()->paintPending();
    window->sendMessage(msg::timer, 1, 0);  // the clock is a live update
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardLine(1).mid(29, 10), "NONAME.RAD");
    EXPECT_EQ(clipboardLine(1).mid(72, 8), "10:15:00");
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
