#pragma once
#include <QMainWindow>
#include <QTimer>
#include <cstdint>

struct Program;
class QtHost;
class ClientWidget;
class QAction;

// The one window. It only translates Qt events into window messages.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Program& program, QtHost& host);
    ~MainWindow() override;

    ClientWidget* client() const { return clientWidget; }
    intptr_t sendMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // Starts the 100 ms poll timer.
    void startTimer100();
    QAction* actionFor(int id) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void updateOverlap();

    Program& program;
    QtHost& host;
    ClientWidget* clientWidget = nullptr;
    QTimer pollTimer;
    bool destroyed = false;
};
