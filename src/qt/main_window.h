#pragma once
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <string>

struct Program;
class QtHost;
class ClientWidget;
class QAction;
class QMenu;
class ShellSettings;

// The one window. It only translates Qt events into window messages.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // With `settings`, the window restores and keeps what it remembers (recent files,
    // link settings, geometry, the work folder); without, it remembers nothing.
    MainWindow(Program& program, QtHost& host, ShellSettings* settings = nullptr);
    ~MainWindow() override;

    ClientWidget* client() const { return clientWidget; }
    intptr_t sendMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // Starts the 100 ms poll timer.
    void startTimer100();
    QAction* actionFor(int id) const;
    // Opens a network file as Open Network File does, without the dialog.
    void openNetworkFile(const QString& path);
    // Where the user guide is looked for, first match wins.
    void setUserGuideCandidates(const QStringList& paths) { userGuideCandidates = paths; }
    // Opens the user guide in the desktop's browser, or says it is missing.
    void showUserGuide();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void addShellItems(QMenu* file, QMenu* help);
    void fillRecentMenu();
    void updateOverlap();
    // A network file was opened or saved: its folder becomes the work folder.
    void noteNetworkFile();
    void rememberSession();

    Program& program;
    QtHost& host;
    ClientWidget* clientWidget = nullptr;
    QTimer pollTimer;
    bool destroyed = false;
    ShellSettings* settings = nullptr;
    QMenu* recentMenu = nullptr;
    std::string shownNetworkFile;
    QStringList userGuideCandidates;
};
