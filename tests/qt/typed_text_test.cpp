#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

#include "qt/qt_canvas.h"
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

// A typed name is UTF-8 in the table: it shows as its characters, and the columns
// after it stay in their cells.
TEST(TypedText, Utf8NamesTakeOneCellPerCharacterAndKeepTheColumns) {
    const std::pair<std::string, std::u32string> cases[] = {
        {"Pump 7  X", U"Pump 7  X"},
        {"M\xC3\xBCller  X", U"M\u00FCller   X"},  // the saved cell comes back at the next blank
        {"\u20AC1  X\nab", U"\u20AC1    X\nab"},   // three bytes, two cells saved
        {"M\xFCller  X", U"M\u00FCller  X"},       // a Latin-1 byte stays one cell
        {"\xC3(", U"\u00C3("},                     // a broken sequence: bytes as they are
    };
    for (const auto& [bytes, cells] : cases) EXPECT_EQ(QtCanvas::cellCharacters(bytes), cells) << bytes;

    QImage image(200, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QtCanvas canvas(image);
        canvas.drawText(Rect{0, 0, 200, 16}, "M\xC3\xBCller  X");
    }
    auto ink = [&](int column) {
        for (int y = 2; y < 16; ++y)
            for (int x = column * 10; x < column * 10 + 10; ++x)
                if (image.pixelColor(x, y).lightness() < 128) return true;
        return false;
    };
    const bool expected[] = {true, true, true, true, true, true, false, false, false, true};
    for (int column = 0; column < 10; ++column) EXPECT_EQ(ink(column), expected[column]) << column;
}

}  // namespace
