#include "qt/settings.h"

#include "model/program.h"

namespace {

QString QText(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// Restores a text only when it was kept and fits the program's Latin-1 texts.
void RestoreText(const QSettings& settings, const char* key, std::string& into) {
    if (!settings.contains(key)) return;
    const QString value = settings.value(key).toString();
    if (value.isEmpty() || QText(value.toLatin1().toStdString()) != value) return;
    into = value.toLatin1().toStdString();
}

}  // namespace

ShellSettings::ShellSettings(const QString& file)
    : settings(file.isEmpty() ? std::make_unique<QSettings>()
                              : std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

QStringList ShellSettings::recentFiles() const { return settings->value("recentFiles").toStringList(); }

void ShellSettings::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    settings->setValue("recentFiles", files);
}

QString ShellSettings::workFolder() const { return settings->value("workFolder").toString(); }

void ShellSettings::setWorkFolder(const QString& folder) { settings->setValue("workFolder", folder); }

QByteArray ShellSettings::windowGeometry() const { return settings->value("window/geometry").toByteArray(); }

void ShellSettings::setWindowGeometry(const QByteArray& geometry) { settings->setValue("window/geometry", geometry); }

void ShellSettings::restoreLink(LinkState& link) const {
    RestoreText(*settings, "link/commPort", link.commPortName);
    RestoreText(*settings, "link/ipAddress", link.ipAddressText);
    RestoreText(*settings, "link/port", link.portText);
}

void ShellSettings::rememberLink(const LinkState& link) {
    settings->setValue("link/commPort", QText(link.commPortName));
    settings->setValue("link/ipAddress", QText(link.ipAddressText));
    settings->setValue("link/port", QText(link.portText));
}
