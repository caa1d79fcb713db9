#pragma once
#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

struct LinkState;

// What the window remembers between sessions, in the user's configuration folder.
// It offers: nothing here opens a file or a link by itself.
class ShellSettings {
public:
    // The user's settings; with `file`, an INI file of that name instead (tests).
    explicit ShellSettings(const QString& file = {});

    // Network files opened or saved, the latest first.
    QStringList recentFiles() const;
    void addRecentFile(const QString& path);
    QString workFolder() const;
    void setWorkFolder(const QString& folder);
    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);
    // The port name, IP address and port text; the UDP password is never kept.
    void restoreLink(LinkState& link) const;
    void rememberLink(const LinkState& link);
    void sync() { settings->sync(); }

    static constexpr int kRecentFiles = 8;

private:
    std::unique_ptr<QSettings> settings;
};
