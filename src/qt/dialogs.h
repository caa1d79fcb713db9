#pragma once
#include <QString>
#include <QStringList>

class QWidget;
class QDialog;

// The small modal dialogs the commands ask through. Each returns true on OK.
bool RunPromptDialog(QWidget* parent, const QString& title, QString& text);
bool RunListDialog(QWidget* parent, const QString& title, const QStringList& items, int preselected,
                   QString& chosen);
bool RunSubnetDialog(QWidget* parent, const QString& title, QString& rx, QString& tx);
// "REDIAL" / "CANCEL": true for REDIAL.
bool RunRedialDialog(QWidget* parent, const QString& title);
// Closes itself after 4000 ms, or on OK.
void RunAboutDialog(QWidget* parent);
// The modeless "Dialing" box.
QDialog* MakeDialingDialog(QWidget* parent);
