#include "qt/qt_host.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMap>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include "app/window_proc.h"
#include "qt/client_widget.h"
#include "qt/dialogs.h"
#include "qt/exports.h"
#include "qt/main_window.h"

namespace {

QString QText(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string StdText(const QString& q) { return q.toLatin1().toStdString(); }
// Paths are the file system's bytes on the core's side (UTF-8 here), whatever the
// program's own texts are.
QString QPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string StdPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
// What is typed into a prompt (names above all) goes to the core as UTF-8, as paths do.
QString QTyped(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string StdTyped(const QString& q) { return q.toUtf8().toStdString(); }

// "Radio Files|*.RAD|All Files|*.*" becomes Qt's "Radio Files (*.RAD);;All Files (*.*)".
QString QtFilter(const std::string& filter, QString* first) {
    QStringList parts = QText(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i] + " (" + parts[i + 1] + ")";
    if (first && !out.isEmpty()) *first = out.front();
    return out.join(";;");
}

bool RunFileDialog(QWidget* parent, const FileDialogRequest& r, std::string& path, bool save) {
    QFileDialog d(parent, QText(r.title));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setOption(QFileDialog::ReadOnly, false);
    QString first;
    d.setNameFilter(QtFilter(r.filter, &first));
    d.selectNameFilter(first);
    d.setDefaultSuffix(QText(r.defaultExtension));
    d.setDirectory(QDir::current());
    d.selectFile(QPath(r.initialName));
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d.setOption(QFileDialog::DontConfirmOverwrite, !r.askBeforeReplacing);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
    path = StdPath(d.selectedFiles().front());
    return true;
}

}  // namespace

void QtHost::invalidate(bool erase) {
    if (window) window->client()->invalidate(erase);
}

void QtHost::update() {
    if (!window) return;
    window->client()->paintPending();
    window->client()->update();
}

Canvas* QtHost::windowCanvas() { return window ? window->client()->canvas() : nullptr; }

void QtHost::setStatusText(const std::string& text) {
    if (window) window->statusBar()->showMessage(QText(text));
}

void QtHost::messageBox(const std::string& text, const std::string& title) {
    QMessageBox::information(window, QText(title), QText(text));
}

void QtHost::postMessageBox(const std::string& text, const std::string& title) {
    // From the event loop, not from the handler that posts it (the poll timer's):
    // the timer keeps firing while the box stands.
    if (!window) return messageBox(text, title);
    QTimer::singleShot(0, window, [this, text, title] { messageBox(text, title); });
}

void QtHost::beep() { QApplication::beep(); }

bool QtHost::prompt(const std::string& title, std::string& text) {
    QString t = QTyped(text);
    if (!RunPromptDialog(window, QTyped(title), t)) return false;
    text = StdTyped(t);
    return true;
}

bool QtHost::listDialog(const std::string& title, const std::vector<std::string>& items, int preselected,
                        std::string& chosen) {
    QStringList list;
    for (const auto& i : items) list << QText(i);
    QString c;
    if (!RunListDialog(window, QText(title), list, preselected, c)) return false;
    chosen = StdText(c);
    return true;
}

namespace {

// The serial devices present, each by its stable /dev/serial/by-id name when udev
// gives it one (the name stays when the adapter moves to another USB socket).
QList<SerialDevice> SerialDevicesPresent() {
    QMap<QString, QString> byId;  // device -> by-id link
    const QDir idFolder("/dev/serial/by-id");
    for (const QFileInfo& link : idFolder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        byId.insert(link.canonicalFilePath(), link.absoluteFilePath());
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const QString device = port.systemLocation();
        const QString id = byId.value(QFileInfo(device).canonicalFilePath());
        QString label = id.isEmpty() ? device : id;
        if (!id.isEmpty()) label += "  (" + port.portName() + ")";
        if (!port.description().isEmpty()) label += "  " + port.description();
        devices.push_back({label, id.isEmpty() ? device : id});
    }
    return devices;
}

}  // namespace

bool QtHost::commPortDialog(const std::vector<std::string>& ports, int preselected, const std::string& current,
                            std::string& chosen) {
    QStringList list;
    for (const auto& p : ports) list << QText(p);
    QString c;
    if (!RunCommPortDialog(window, list, preselected, SerialDevicesPresent(), QPath(current), c)) return false;
    // A device path crosses as the file system's bytes, a port line as a text.
    chosen = c.startsWith('/') ? StdPath(c) : StdText(c);
    return true;
}

bool QtHost::subnetDialog(const std::string& title, std::string& rx, std::string& tx) {
    QString r = QText(rx), t = QText(tx);
    if (!RunSubnetDialog(window, QText(title), r, t)) return false;
    rx = StdText(r);
    tx = StdText(t);
    return true;
}

bool QtHost::redialDialog(const std::string& title) { return RunRedialDialog(window, QText(title)); }

void QtHost::showDialing(bool shown) {
    if (shown) {
        if (!dialing) dialing = MakeDialingDialog(window);
        dialing->show();
    } else {
        if (dialing) {
            dialing->hide();
            dialing->deleteLater();
            dialing = nullptr;
        }
        if (window) window->setEnabled(true);  // the wait is over
    }
    QApplication::processEvents();
}

void QtHost::pumpEvents() {
    // The dial-up wait. Qt counts a close request as user input, so excluding input
    // would hold the close back until the wait ended. Instead the window takes no
    // input while the wait lasts (disabled) and everything else, the close
    // included, is handled now; the wait then ends at once.
    if (window && window->isEnabled()) window->setEnabled(false);
    QApplication::processEvents(QEventLoop::AllEvents);
}

bool QtHost::openFileDialog(const FileDialogRequest& request, std::string& path) {
    if (!nextOpenPath.empty()) {
        path = std::move(nextOpenPath);
        nextOpenPath.clear();
        return true;
    }
    return RunFileDialog(window, request, path, false);
}

bool QtHost::saveFileDialog(const FileDialogRequest& request, std::string& path) {
    return RunFileDialog(window, request, path, true);
}

bool QtHost::saveWindowImage(const std::string& path, std::string& error) {
    if (!window) {
        error = "there is no window";
        return false;
    }
    return SaveImageAsPng(window->client()->paintedImage(), path, error);
}

void QtHost::aboutDialog() { RunAboutDialog(window); }

void QtHost::watchUdpSocket(int fd) {
    udpNotifier.reset();
    if (fd < 0 || !window) return;
    udpNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    MainWindow* w = window;
    QObject::connect(udpNotifier.get(), &QSocketNotifier::activated, w, [w] { w->sendMessage(msg::udpSocket, 0, 0); });
}

void QtHost::quit(int exitCode) {
    quitCalled = true;
    udpNotifier.reset();
    QApplication::exit(exitCode);
}
