// The yardstick for the start-up figure: a plain Qt window of the program's size,
// started the same way. The ratio between the two holds across machines.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare Qt window");
    window.resize(808, 600);
    window.show();
    return app.exec();
}
