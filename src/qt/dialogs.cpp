#include "qt/dialogs.h"

#include <algorithm>
#include <functional>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Dialog units of the original layout, about 2 pixels across and 2 down.
constexpr int unitX = 2;
constexpr int unitY = 2;

QPushButton* MakeButton(QDialog* d, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, d);
    b->setGeometry(x * unitX, y * unitY, w * unitX, h * unitY);
    return b;
}

}  // namespace

bool RunPromptDialog(QWidget* parent, const QString& title, QString& text) {
    QDialog d(parent);
    d.setWindowTitle(title);
    d.setFixedSize(160 * unitX, 50 * unitY);
    auto* edit = new QLineEdit(text, &d);
    edit->setObjectName("promptText");
    edit->setGeometry(14 * unitX, 12 * unitY, 134 * unitX, 12 * unitY);
    edit->selectAll();
    QPushButton* ok = MakeButton(&d, "OK", 34, 32, 40, 14);
    ok->setDefault(true);
    QPushButton* cancel = MakeButton(&d, "Cancel", 84, 32, 40, 14);
    QObject::connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    edit->setFocus();
    if (d.exec() != QDialog::Accepted) return false;
    text = edit->text();
    return true;
}

namespace {

// The list box of a list dialog: its lines, widened to the longest one, with the
// given line preselected. Returns how much wider than the original 40 units it is.
int FillList(QListWidget* list, const QStringList& items, int preselected) {
    int listWidth = 40 * unitX;
    for (const QString& item : items)
        listWidth = std::max(listWidth, list->fontMetrics().horizontalAdvance(item) + 12 * unitX);
    list->setGeometry(20 * unitX, 10 * unitY, listWidth, 80 * unitY);
    list->addItems(items);
    if (preselected >= 0 && preselected < items.size()) list->setCurrentRow(preselected);
    return listWidth - 40 * unitX;
}

// Choosing a line closes the dialog with it: a click, a double click, Enter, or a
// selection moved with the arrow keys.
void ChooseOnSelection(QDialog& d, QListWidget* list, std::function<void(QListWidgetItem*)> choose) {
    auto pick = [&d, choose](QListWidgetItem* item) {
        if (!item || d.result() == QDialog::Accepted) return;
        choose(item);
        d.accept();
    };
    QObject::connect(list, &QListWidget::itemClicked, &d, pick);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &d, pick);
    QObject::connect(list, &QListWidget::itemActivated, &d, pick);
    QObject::connect(list, &QListWidget::itemSelectionChanged, &d, [list, pick] {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        if (!selected.isEmpty()) pick(selected.front());
    });
}

}  // namespace

bool RunListDialog(QWidget* parent, const QString& title, const QStringList& items, int preselected,
                   QString& chosen) {
    QDialog d(parent);
    d.setWindowTitle(title);
    auto* list = new QListWidget(&d);
    // The lines carry the device beside each port name: widen to the longest one.
    const int widthExtra = FillList(list, items, preselected);
    d.setFixedSize(80 * unitX + widthExtra, 120 * unitY);
    QPushButton* cancel = MakeButton(&d, "Cancel", 25, 90, 30, 14);
    cancel->move(cancel->x() + widthExtra / 2, cancel->y());
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    bool picked = false;
    ChooseOnSelection(d, list, [&](QListWidgetItem* item) {
        chosen = item->text();
        picked = true;
    });
    d.exec();
    return picked;
}

bool RunCommPortDialog(QWidget* parent, const QStringList& ports, int preselected, const QList<SerialDevice>& devices,
                       const QString& current, QString& chosen) {
    QDialog d(parent);
    d.setWindowTitle("Select Comm Port");
    auto* list = new QListWidget(&d);
    list->setObjectName("portList");
    // The devices present follow the port names; each line chooses its device path.
    QStringList items = ports;
    for (const SerialDevice& device : devices) {
        if (device.path == current) preselected = static_cast<int>(items.size());
        items << device.label;
    }
    const int widthExtra = FillList(list, items, preselected);
    for (qsizetype i = 0; i < devices.size(); ++i) list->item(ports.size() + i)->setData(Qt::UserRole, devices[i].path);
    const int width = 80 * unitX + widthExtra;
    d.setFixedSize(width, 140 * unitY);
    QPushButton* cancel = MakeButton(&d, "Cancel", 25, 90, 30, 14);
    cancel->move(cancel->x() + widthExtra / 2, cancel->y());
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    // Any other device, typed: "/dev/ttyUSB0", or "rfcomm0" for one in /dev.
    auto* label = new QLabel("Device path:", &d);
    label->setGeometry(20 * unitX, 108 * unitY, 40 * unitX, 10 * unitY);
    auto* path = new QLineEdit(&d);
    path->setObjectName("devicePath");
    path->setPlaceholderText("/dev/ttyUSB0");
    if (current.startsWith('/') && preselected < 0) path->setText(current);
    path->setGeometry(20 * unitX, 120 * unitY, width - 64 * unitX, 12 * unitY);
    label->setBuddy(path);
    QPushButton* ok = MakeButton(&d, "OK", 0, 119, 30, 14);
    ok->move(width - 40 * unitX, ok->y());
    ok->setDefault(true);  // Enter in the path box
    bool picked = false;
    QObject::connect(ok, &QPushButton::clicked, &d, [&] {
        QString typed = path->text().trimmed();
        if (typed.isEmpty()) return;
        if (!typed.startsWith('/')) typed.prepend("/dev/");
        chosen = typed;
        picked = true;
        d.accept();
    });
    ChooseOnSelection(d, list, [&](QListWidgetItem* item) {
        const QString device = item->data(Qt::UserRole).toString();
        chosen = device.isEmpty() ? item->text() : device;
        picked = true;
    });
    list->setFocus();
    d.exec();
    return picked;
}

bool RunSubnetDialog(QWidget* parent, const QString& title, QString& rx, QString& tx) {
    QDialog d(parent);
    d.setWindowTitle(title);
    d.setFixedSize(160 * unitX, 50 * unitY);
    auto* rxEdit = new QLineEdit(rx, &d);
    rxEdit->setObjectName("rxText");
    rxEdit->setGeometry(14 * unitX, 12 * unitY, 60 * unitX, 12 * unitY);
    auto* txEdit = new QLineEdit(tx, &d);
    txEdit->setObjectName("txText");
    txEdit->setGeometry(88 * unitX, 12 * unitY, 60 * unitX, 12 * unitY);
    QPushButton* ok = MakeButton(&d, "OK", 34, 32, 40, 14);
    ok->setDefault(true);
    QPushButton* cancel = MakeButton(&d, "Cancel", 84, 32, 40, 14);
    QObject::connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    if (d.exec() != QDialog::Accepted) return false;
    rx = rxEdit->text();
    tx = txEdit->text();
    return true;
}

bool RunRedialDialog(QWidget* parent, const QString& title) {
    QDialog d(parent);
    d.setWindowTitle(title);
    d.setFixedSize(160 * unitX, 40 * unitY);
    QPushButton* redial = MakeButton(&d, "REDIAL", 20, 14, 50, 14);
    QPushButton* cancel = MakeButton(&d, "CANCEL", 90, 14, 50, 14);
    redial->setDefault(true);
    QObject::connect(redial, &QPushButton::clicked, &d, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    return d.exec() == QDialog::Accepted;
}

void RunAboutDialog(QWidget* parent) {
    QDialog d(parent);
    d.setWindowTitle("About");
    auto* layout = new QVBoxLayout(&d);
    layout->addWidget(new QLabel("Corvane Diagnostics 2.16", &d));
    layout->addWidget(new QLabel("Diagnostics for spread-spectrum radio networks", &d));
    auto* ok = new QPushButton("OK", &d);
    ok->setDefault(true);
    layout->addWidget(ok);
    QObject::connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
    QTimer::singleShot(4000, &d, &QDialog::accept);
    d.exec();
}

QDialog* MakeDialingDialog(QWidget* parent) {
    auto* d = new QDialog(parent);
    d->setWindowTitle("Dialing");
    d->setModal(false);
    d->setFixedSize(200, 40);
    return d;
}
