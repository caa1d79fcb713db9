#include "qt/qt_canvas.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <array>

#include "qt/screen_text.h"

namespace {

// The text font's glyphs for every Latin-1 character, looked up once: a text run
// is then drawn with its glyphs placed straight into their 10-pixel cells, with no
// text layout per character.
struct TextGlyphs {
    QRawFont font;
    std::array<quint32, 256> index{};
    int descent = 0;
};

const TextGlyphs& Glyphs() {
    // Made once and kept for the life of the process (the font outlives every window).
    static const TextGlyphs* glyphs = [] {
        auto* g = new TextGlyphs;
        const QFont font = QtCanvas::textFont();
        g->font = QRawFont::fromFont(font);
        g->descent = QFontMetrics(font).descent();
        QString all;
        for (int c = 0; c < 256; ++c) all += QChar::fromLatin1(static_cast<char>(c));
        const QList<quint32> indexes = g->font.glyphIndexesForString(all);
        for (int c = 0; c < 256 && c < indexes.size(); ++c) g->index[static_cast<size_t>(c)] = indexes[c];
        return g;
    }();
    return *glyphs;
}

// The code point of the well-formed UTF-8 sequence at `at` and its length, or length 0.
std::pair<char32_t, size_t> Utf8At(std::string_view text, size_t at) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return {0, 0};
    char32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return {0, 0};
        c = (c << 6) | (byte(at + k) & 0x3F);
    }
    // Shortest form only, no surrogates, nothing beyond U+10FFFF.
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return {0, 0};
    return {c, length};
}

}  // namespace

std::u32string QtCanvas::cellCharacters(std::string_view text) {
    std::u32string cells;
    cells.reserve(text.size());
    size_t saved = 0;  // cells a multi-byte character left over, given back at the next blank
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') saved = 0;
        if (byte == ' ' && saved > 0) {
            cells.append(saved, U' ');
            saved = 0;
        }
        if (byte >= 0x80) {
            if (const auto [c, length] = Utf8At(text, i); length > 0) {
                cells.push_back(c);
                saved += length - 1;
                i += length;
                continue;
            }
        }
        cells.push_back(byte);
        ++i;
    }
    return cells;
}

// The painter works in logical pixels; on a high-density screen the image has more
// device pixels per logical one and text and lines are drawn at that resolution.
QtCanvas::QtCanvas(QImage& image, ScreenText* text) : image(image), screenText(text), painter(&image) {
    const QSizeF logical = image.deviceIndependentSize();
    client = {0, 0, static_cast<int>(logical.width()), static_cast<int>(logical.height())};
    descent = Glyphs().descent;
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

QPen QtCanvas::penFor(Pen p) const {
    // One logical pixel wide: one device pixel on a plain screen, more on a dense one.
    const qreal ratio = image.devicePixelRatio();
    QPen qpen(toQColor(PenColor(p)), ratio > 1 ? ratio : 0);
    qpen.setCosmetic(true);
    return qpen;
}

void QtCanvas::drawText(const Rect& r, std::string_view text) {
    if (text.empty()) return;
    if (screenText) screenText->put(r.left, r.bottom, text);
    const int width = 10 * static_cast<int>(text.size());
    // Opaque: the cells behind the text turn white first, so newer text erases older.
    // Only the 16-pixel row is cleared, so the row above keeps its descenders.
    painter.fillRect(QRect(r.left, r.bottom - 16, width, 16), Qt::white);
    painter.setPen(toQColor(color));
    const int baseline = r.bottom - descent;
    // One glyph per 10-pixel cell, whatever the font's own advance.
    const TextGlyphs& glyphs = Glyphs();
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(static_cast<qsizetype>(text.size()));
    positions.reserve(static_cast<qsizetype>(text.size()));
    const std::u32string cells = cellCharacters(text);
    for (size_t i = 0; i < cells.size(); ++i) {
        const char32_t ch = cells[i];
        if (ch == ' ') continue;
        quint32 glyph = 0;
        if (ch < 256) {
            glyph = glyphs.index[ch];
        } else {
            const QList<quint32> found = glyphs.font.glyphIndexesForString(QString::fromUcs4(&ch, 1));
            glyph = found.isEmpty() ? 0 : found.front();
        }
        indexes.append(glyph);
        positions.append(QPointF(r.left + 10 * static_cast<int>(i), baseline));
    }
    if (indexes.isEmpty()) return;
    QGlyphRun run;
    run.setRawFont(glyphs.font);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    painter.drawGlyphRun(QPointF(0, 0), run);
}

void QtCanvas::rectangle(const Rect& r) {
    painter.setPen(penFor(pen));
    painter.setBrush(toQColor(BrushColor(brush)));
    if (screenText) screenText->cover(r.left, r.top, r.right, r.bottom);
    // The outline includes the left/top edges and stops one pixel short of right/bottom.
    painter.drawRect(QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1));
    painter.setBrush(Qt::NoBrush);
}

void QtCanvas::moveTo(int x, int y) {
    penX = x;
    penY = y;
}

void QtCanvas::lineTo(int x, int y) {
    painter.setPen(penFor(pen));
    painter.drawLine(penX, penY, x, y);
    penX = x;
    penY = y;
}

void QtCanvas::erase() {
    image.fill(Qt::white);
    if (screenText) screenText->clear();
}
