#include "qt/screen_text.h"

#include <algorithm>

namespace {
constexpr int kCellWidth = 10;
constexpr int kCellHeight = 16;
constexpr int kMaxRows = 1024;  // a window far taller than any screen
constexpr int kMaxColumns = 1024;
}  // namespace

void ScreenText::clear() { rows.clear(); }

void ScreenText::put(int left, int bottom, std::string_view text) {
    if (bottom < 0 || left < 0) return;
    const size_t row = static_cast<size_t>(bottom / kCellHeight);
    const size_t column = static_cast<size_t>(left / kCellWidth);
    if (row >= kMaxRows || column >= kMaxColumns) return;
    text = text.substr(0, kMaxColumns - column);
    if (rows.size() <= row) rows.resize(row + 1);
    std::string& line = rows[row];
    if (line.size() < column + text.size()) line.resize(column + text.size(), ' ');
    line.replace(column, text.size(), text);
}

void ScreenText::cover(int left, int top, int right, int bottom) {
    // Cells whose 10 x 16 box lies inside the rectangle.
    const int firstRow = std::max(1, (top + kCellHeight + kCellHeight - 1) / kCellHeight);
    const int lastRow = std::min(static_cast<int>(rows.size()) - 1, bottom / kCellHeight);
    const int firstColumn = std::max(0, (left + kCellWidth - 1) / kCellWidth);
    const int endColumn = right / kCellWidth;
    for (int r = firstRow; r <= lastRow; ++r) {
        std::string& line = rows[static_cast<size_t>(r)];
        for (int c = firstColumn; c < endColumn && c < static_cast<int>(line.size()); ++c)
            line[static_cast<size_t>(c)] = ' ';
    }
}

std::string ScreenText::text() const {
    std::string out;
    size_t pendingNewlines = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        std::string_view line = rows[r];
        const size_t end = line.find_last_not_of(' ');
        line = end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
        if (r > 1) ++pendingNewlines;
        if (line.empty()) continue;
        out.append(pendingNewlines, '\n');
        pendingNewlines = 0;
        out += line;
    }
    if (!out.empty()) out += '\n';
    return out;
}
