#include "support/recording_canvas.h"

void RecordingCanvas::drawText(const Rect& r, std::string_view s) {
    texts.push_back({r, std::string(s), color});
    int rowNumber = r.bottom / 16;
    int column = (r.left >= 0 ? r.left / 10 : (r.left - 9) / 10) + 1;
    for (size_t i = 0; i < s.size(); ++i) {
        grid[rowNumber][column + static_cast<int>(i)] = {s[i], color};
        byBottom[r.bottom][column + static_cast<int>(i)] = {s[i], color};
    }
}

void RecordingCanvas::lineTo(int x, int y) {
    lines.push_back({penX, penY, x, y, pen});
    penX = x;
    penY = y;
}

void RecordingCanvas::erase() {
    ++erases;
    clear();
}

void RecordingCanvas::clear() {
    grid.clear();
    byBottom.clear();
    texts.clear();
    lines.clear();
    rects.clear();
}

static std::string RowText(const std::map<int, RecordingCanvas::Cell>& cells) {
    std::string out;
    for (const auto& [col, cell] : cells) {
        if (col < 1) continue;
        if (static_cast<int>(out.size()) < col - 1) out.resize(col - 1, ' ');
        if (static_cast<int>(out.size()) == col - 1)
            out.push_back(cell.ch);
        else
            out[col - 1] = cell.ch;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string RecordingCanvas::row(int rowNumber) const {
    auto it = grid.find(rowNumber);
    return it == grid.end() ? std::string() : RowText(it->second);
}

std::string RecordingCanvas::text(int rowNumber, int column, int length) const {
    std::string out(length, ' ');
    auto it = grid.find(rowNumber);
    if (it == grid.end()) return out;
    for (int i = 0; i < length; ++i) {
        auto c = it->second.find(column + i);
        if (c != it->second.end()) out[i] = c->second.ch;
    }
    return out;
}

Color RecordingCanvas::colorAt(int rowNumber, int column) const {
    auto it = grid.find(rowNumber);
    if (it == grid.end()) return 0;
    auto c = it->second.find(column);
    return c == it->second.end() ? 0 : c->second.color;
}

std::string RecordingCanvas::lineAtBottom(int bottomY) const {
    auto it = byBottom.find(bottomY);
    return it == byBottom.end() ? std::string() : RowText(it->second);
}

std::vector<RecordingCanvas::Line> RecordingCanvas::linesWith(Pen p) const {
    std::vector<Line> out;
    for (const auto& l : lines)
        if (l.pen == p) out.push_back(l);
    return out;
}
