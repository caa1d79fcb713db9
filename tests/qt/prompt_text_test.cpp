#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

#include "qt/qt_host.h"

namespace {

// What is typed into a prompt reaches the core as UTF-8, and a UTF-8 text the core
// puts into a prompt shows as its characters.
TEST(PromptText, TypedTextGoesBetweenQtAndTheCoreAsUtf8) {
    ASSERT_NE(QApplication::instance(), nullptr);
    // An earlier window's destroy may have asked the application to quit, which ends
    // every dialog's loop at once; one pass of the main loop clears that.
    QTimer::singleShot(0, [] { QApplication::exit(0); });
    QApplication::exec();
    QtHost host;
    QString shown;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QDialog*>(w);
            auto* edit = d && d->isVisible() ? d->findChild<QLineEdit*>("promptText") : nullptr;
            if (!edit) continue;
            shown = edit->text();
            edit->setText(QString::fromUtf8("M\xC3\xBCller \xE2\x82\xAC"));
            d->accept();
        }
    });
    typist.start(10);
    std::string text = "Gr\xC3\xBC\xC3\x9F";
    ASSERT_TRUE(host.prompt("Radio 5000001's Name?", text));
    EXPECT_EQ(shown, QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"));
    EXPECT_EQ(text, "M\xC3\xBCller \xE2\x82\xAC");
}

}  // namespace
