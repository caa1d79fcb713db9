#pragma once
#include <QString>
#include <QStringList>

class QWidget;
class QDialog;

// The small modal dialogs the commands ask through. Each returns true on OK.
bool RunPromptDialog(QWidget* parent, const QString& title, QString& text);
bool RunListDialog(QWidget* parent, const QString& title, const QStringList& items, int preselected,
                   QString& chosen);
// A serial device present: the line shown for it and the path that opens it.
struct SerialDevice {
    QString label;
    QString path;
};
// "Select Comm Port": the port names, the devices present after them, and a typed
// device path. `chosen` is a port's line or a device path.
bool RunCommPortDialog(QWidget* parent, const QStringList& ports, int preselected, const QList<SerialDevice>& devices,
                       const QString& current, QString& chosen);
bool RunSubnetDialog(QWidget* parent, const QString& title, QString& rx, QString& tx);
// "REDIAL" / "CANCEL": true for REDIAL.
bool RunRedialDialog(QWidget* parent, const QString& title);
// Closes itself after 4000 ms, or on OK.
void RunAboutDialog(QWidget* parent);
// The modeless "Dialing" box.
QDialog* MakeDialingDialog(QWidget* parent);
