#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/window_proc.h"
#include "files/network_file.h"
#include "model/program.h"
#include "qt/command_line.h"
#include "files/file_safety.h"
#include "qt/dialogs.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "qt/settings.h"

namespace {

// Answers the modal dialogs that come up while it lives: `answer` gets each one once
// and returns true when it closes it itself; any other is cancelled. The titles seen
// are kept.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<bool(QDialog*)> answer = {}) : answer(std::move(answer)) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QDialog*>(w);
                if (!d || !d->isVisible() || handled.contains(d)) continue;
                handled << d;
                titles << d->windowTitle();
                if (auto* box = qobject_cast<QMessageBox*>(d)) texts << box->text();
                if (!this->answer || !this->answer(d)) QMetaObject::invokeMethod(d, "reject", Qt::QueuedConnection);
            }
        });
        timer.start(10);
    }
    QStringList titles;
    QStringList texts;

private:
    std::function<bool(QDialog*)> answer;
    QList<QDialog*> handled;
    QTimer timer;
};

// An earlier window's destroy asked the application to quit, which would end every
// dialog's loop at once; one pass of the main loop clears that.
void ClearQuitRequest() {
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
}

struct Desktop : ::testing::Test {
    ManualClock clock{LocalTime{2026, 12, 8, 10, 15, 0, 0}};
    std::unique_ptr<Program> program;
    QtHost host;
    QTemporaryDir dir;
    std::unique_ptr<ShellSettings> settings;
    std::unique_ptr<MainWindow> window;
    QString previousFolder = QDir::currentPath();

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ClearQuitRequest();
        settings = std::make_unique<ShellSettings>(dir.filePath("settings.ini"));
        open();
    }
    void TearDown() override {
        close();
        QDir::setCurrent(previousFolder);
    }
    void open() {
        program = CreateProgram(clock);
        window = std::make_unique<MainWindow>(*program, host, settings.get());
        window->show();
        QApplication::processEvents();
    }
    void close() {
        if (!window) return;
        window->sendMessage(msg::destroy, 0, 0);
        window.reset();
        ClearQuitRequest();
    }
    // A network file with one radio in its own folder.
    QString siteFile(const QString& folder, const QString& name) {
        QDir(dir.path()).mkpath(folder);
        const QString path = dir.filePath(folder + "/" + name);
        std::unique_ptr<Program> other = CreateProgram(clock);
        other->network.radioCount = 1;
        other->network.radios[1].serialNumber = 123456;
        std::string error;
        EXPECT_TRUE(WriteNetworkFile(other->log.workFolder, other->network, other->link, other->errors,
                                     path.toStdString(), error))
            << error;
        return path;
    }
};

}  // namespace

TEST(WorkFolder, TerminalFolderStaysAMenuLaunchNeverWritesIntoHome) {
    QTemporaryDir home, terminal, last;
    const QString own = home.filePath("Documents/Corvane Diagnostics");
    struct Case {
        QString current;
        bool writable;
        QString remembered;
        QString expected;
    };
    const Case cases[] = {
        {terminal.path(), true, last.path(), terminal.path()},  // started from a terminal
        {home.path(), true, last.path(), last.path()},          // menu launch: the folder used last
        {home.path(), true, "", own},                           // first start
        {home.path(), true, home.path() + "/gone", own},        // the last folder was removed
        {home.path(), true, home.path(), own},                  // never the home folder itself
        {"/", false, last.path(), last.path()},                 // a folder the user may not write
    };
    for (const Case& c : cases)
        EXPECT_EQ(StartWorkFolder(c.current, home.path(), c.writable, c.remembered, own), c.expected)
            << c.current.toStdString();
}

TEST_F(Desktop, OpeningANetworkFileMakesItsFolderTheWorkFolder) {
    const QString site = siteFile("north", "NORTH.RAD");
    window->openNetworkFile(site);
    EXPECT_EQ(QString::fromStdString(program->network.networkFileName), site);
    EXPECT_EQ(QDir::currentPath(), dir.filePath("north"));
    EXPECT_EQ(settings->workFolder(), dir.filePath("north"));
    EXPECT_EQ(QString::fromStdString(program->log.workFolder), dir.filePath("north"));  // where Current.log is written
}

TEST(CommandLineArguments, OneNetworkFileAndTheKnownOptions) {
    using Action = CommandLine::Action;
    struct Case {
        std::vector<const char*> args;
        Action action;
        const char* file;
    };
    const Case cases[] = {
        {{}, Action::run, ""},
        {{"SITE.RAD"}, Action::run, "SITE.RAD"},
        {{"--", "-odd.RAD"}, Action::run, "-odd.RAD"},
        {{"-platform", "offscreen", "SITE.RAD"}, Action::run, "SITE.RAD"},  // Qt's own options pass
        {{"--help"}, Action::help, ""},
        {{"--version"}, Action::version, ""},
        {{"--bogus"}, Action::usage, ""},
        {{"-x", "SITE.RAD"}, Action::usage, ""},
        {{"A.RAD", "B.RAD"}, Action::usage, ""},
        {{"-platform"}, Action::usage, ""},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv{const_cast<char*>("corvane-diagnostics")};
        for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
        const CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(line.action, c.action) << (c.args.empty() ? "" : c.args.front());
        if (c.action == Action::run) {
            EXPECT_EQ(line.networkFile, c.file);
        }
    }
}

TEST_F(Desktop, AnUnreadableFileGivesTheOpenMessageAndTheWindowStays) {
    DialogAnswerer answerer;
    window->openNetworkFile(dir.filePath("missing/GONE.RAD"));
    EXPECT_EQ(answerer.titles, QStringList{"Error"});
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts.front().startsWith("Cannot read ")) << answerer.texts.front().toStdString();
    EXPECT_EQ(program->network.networkFileName, "NONAME.RAD");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(QDir::currentPath(), previousFolder);
}

TEST_F(Desktop, RecentFilesLinkSettingsAndGeometryComeBackButNothingOpens) {
    const QString site = siteFile("east", "EAST.RAD");
    window->openNetworkFile(site);
    program->link.commPortName = "/dev/rfcomm0";
    program->link.ipAddressText = "10.1.2.3";
    program->link.portText = "4001";
    program->link.udpPassword = "secret";
    window->resize(900, 700);
    QApplication::processEvents();
    close();
    {
        QFile ini(dir.filePath("settings.ini"));
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_FALSE(ini.readAll().contains("secret"));
    }

    open();
    EXPECT_EQ(program->network.networkFileName, "NONAME.RAD");
    EXPECT_EQ(program->link.serialPortOpen, 0);
    EXPECT_EQ(program->link.commPortName, "/dev/rfcomm0");
    EXPECT_EQ(program->link.ipAddressText, "10.1.2.3");
    EXPECT_EQ(program->link.portText, "4001");
    EXPECT_EQ(program->link.udpPassword, "");
    EXPECT_EQ(window->size(), QSize(900, 700));
    auto* recent = window->findChild<QMenu*>("menuOpenRecent");
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_EQ(recent->actions().front()->data().toString(), site);
    recent->actions().front()->trigger();
    EXPECT_EQ(QString::fromStdString(program->network.networkFileName), site);
    EXPECT_EQ(program->network.radios[1].serialNumber, 123456);
}

TEST_F(Desktop, CommPortDialogKeepsThePortsListsDevicesAndTakesATypedPath) {
    std::vector<std::string> ports;
    for (int n = 1; n <= 8; ++n) ports.push_back("Com" + std::to_string(n) + "  no device");
    QStringList shown;
    DialogAnswerer answerer([&](QDialog* d) {
        auto* list = d->findChild<QListWidget*>("portList");
        if (!list) return false;
        for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
        d->findChild<QLineEdit*>("devicePath")->setText("rfcomm0");
        for (auto* b : d->findChildren<QPushButton*>())
            if (b->text() == "OK") b->click();
        return true;
    });
    std::string chosen;
    ASSERT_TRUE(host.commPortDialog(ports, 0, "Com1", chosen));
    EXPECT_EQ(chosen, "/dev/rfcomm0");
    EXPECT_EQ(answerer.titles, QStringList{"Select Comm Port"});
    ASSERT_GE(shown.size(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(shown[i].toStdString(), ports[static_cast<size_t>(i)]);
}

// Moving the selection with the arrow keys chooses, as a click does.
TEST_F(Desktop, ArrowKeysInThePortListChooseAndClose) {
    const std::vector<std::string> ports = {"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8"};
    DialogAnswerer answerer([](QDialog* d) {
        auto* list = d->findChild<QListWidget*>("portList");
        if (list) QTest::keyClick(list, Qt::Key_Down);
        return list != nullptr;
    });
    std::string chosen;
    ASSERT_TRUE(host.commPortDialog(ports, 1, "Com2", chosen));
    EXPECT_EQ(chosen, "Com3");
    EXPECT_EQ(answerer.titles, QStringList{"Select Comm Port"});
}

TEST_F(Desktop, MenuKeysWorkAndCtrlLettersAreNeverTheBareLetter) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* dialog;  // the dialog it brings up, or none
    };
    const Case cases[] = {
        {Qt::Key_O, Qt::ControlModifier, "Open Radio File"},
        {Qt::Key_S, Qt::ControlModifier, "Save  File"},
        {Qt::Key_F1, Qt::NoModifier, "Corvane"},
        {Qt::Key_F, Qt::ControlModifier, nullptr},  // F alone saves the network file
        {Qt::Key_A, Qt::ControlModifier, nullptr},  // A alone adds a radio
        {Qt::Key_N, Qt::ControlModifier, nullptr},
        {Qt::Key_R, Qt::ControlModifier, nullptr},
    };
    for (const Case& c : cases) {
        program->poll.pollMode = 0;
        const bool names = program->display.showNames;
        DialogAnswerer answerer;
        window->activateWindow();  // back from the last dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), c.key, c.mods);
        QApplication::processEvents();
        EXPECT_EQ(answerer.titles, c.dialog ? QStringList{c.dialog} : QStringList{}) << c.key;
        EXPECT_EQ(program->poll.pollMode, 0) << c.key;
        EXPECT_EQ(program->display.showNames, names) << c.key;
    }
    // The bare letter keeps its meaning.
    QTest::keyClick(window.get(), Qt::Key_R);
    EXPECT_EQ(program->poll.pollMode, 1);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(host.quitRequested());
}

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

}  // namespace

TEST_F(Desktop, UserGuideOpensTheManualOrSaysItIsMissing) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    QFile manual(dir.filePath("index.html"));
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.close();
    window->setUserGuideCandidates({dir.filePath("none.html"), manual.fileName()});
    auto* guide = window->findChild<QAction*>("menuUserGuide");
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->text(), "&User Guide");
    guide->trigger();
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front().toLocalFile(), QFileInfo(manual.fileName()).canonicalFilePath());
    EXPECT_TRUE(window->statusBar()->currentMessage().contains("man corvane-diagnostics"));

    window->setUserGuideCandidates({dir.filePath("none.html")});
    DialogAnswerer answerer;
    guide->trigger();
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(answerer.titles, QStringList{"User Guide"});
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts.front().contains("man corvane-diagnostics"));
}

TEST_F(Desktop, TheWindowCannotShrinkBelowItsStartSize) {
    window->resize(400, 300);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(808, 600));
}

#include "desktop_test.moc"
