#include "qt/qt_canvas.h"

#include <QFontMetrics>

QtCanvas::QtCanvas(QImage& image) : image(image), painter(&image) {
    client = {0, 0, image.width(), image.height()};
    painter.setFont(textFont());
    QFontMetrics metrics(painter.font());
    descent = metrics.descent();
}

QtCanvas::~QtCanvas() { painter.end(); }

QFont QtCanvas::textFont() {
    // DejaVu Sans Mono Bold at 16 px advances exactly 10 px per character.
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(16);
    font.setBold(true);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QColor QtCanvas::toQColor(Color c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

void QtCanvas::drawText(const Rect& r, std::string_view text) {
    if (text.empty()) return;
    const int width = 10 * static_cast<int>(text.size());
    // Opaque: the cells behind the text turn white first, so newer text erases older.
    // Only the 16-pixel row is cleared, so the row above keeps its descenders.
    painter.fillRect(QRect(r.left, r.bottom - 16, width, 16), Qt::white);
    painter.setPen(toQColor(color));
    const int baseline = r.bottom - descent;
    // One glyph per 10-pixel cell, whatever the font's own advance.
    for (size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == ' ') continue;
        painter.drawText(r.left + 10 * static_cast<int>(i), baseline, QString(QChar::fromLatin1(ch)));
    }
}

void QtCanvas::rectangle(const Rect& r) {
    painter.setPen(QPen(toQColor(PenColor(pen)), 0));
    painter.setBrush(toQColor(BrushColor(brush)));
    // The outline includes the left/top edges and stops one pixel short of right/bottom.
    painter.drawRect(QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1));
    painter.setBrush(Qt::NoBrush);
}

void QtCanvas::moveTo(int x, int y) {
    penX = x;
    penY = y;
}

void QtCanvas::lineTo(int x, int y) {
    painter.setPen(QPen(toQColor(PenColor(pen)), 0));
    painter.drawLine(penX, penY, x, y);
    penX = x;
    penY = y;
}

void QtCanvas::erase() { image.fill(Qt::white); }
