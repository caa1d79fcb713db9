#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/canvas.h"

// A canvas that keeps text as a character grid (row = bottom / 16, column =
// left / 10 + 1) with the colour of every cell, and records lines and rectangles.
class RecordingCanvas : public Canvas {
public:
    struct Cell {
        char ch = ' ';
        Color color = 0;
    };
    struct TextCall {
        Rect rect;
        std::string text;
        Color color;
    };
    struct Line {
        int x1, y1, x2, y2;
        Pen pen;
    };
    struct RectCall {
        Rect rect;
        Pen pen;
        Brush brush;
    };

    explicit RecordingCanvas(Rect client = {0, 0, 808, 600}) : client(client) {}

    Rect clientRect() const override { return client; }
    void setTextColor(Color c) override { color = c; }
    Color textColor() const override { return color; }
    void drawText(const Rect& r, std::string_view text) override;
    void selectPen(Pen p) override { pen = p; }
    void selectBrush(Brush b) override { brush = b; }
    void rectangle(const Rect& r) override { rects.push_back({r, pen, brush}); }
    void moveTo(int x, int y) override {
        penX = x;
        penY = y;
    }
    void lineTo(int x, int y) override;
    void erase() override;

    // The text of a grid row, trailing blanks removed.
    std::string row(int rowNumber) const;
    // `length` characters of a row from a 1-based column, blanks kept.
    std::string text(int rowNumber, int column, int length) const;
    Color colorAt(int rowNumber, int column) const;
    // Text drawn with its bottom at y (status lines), from x = 0, trailing blanks removed.
    std::string lineAtBottom(int bottomY) const;
    // Lines drawn with a given pen.
    std::vector<Line> linesWith(Pen p) const;
    void clear();

    Rect client;
    Color color = 0;
    Pen pen = Pen::black;
    Brush brush = Brush::white;
    int penX = 0, penY = 0;
    std::map<int, std::map<int, Cell>> grid;        // by row, then column
    std::map<int, std::map<int, Cell>> byBottom;    // by bottom y, then column
    std::vector<TextCall> texts;
    std::vector<Line> lines;
    std::vector<RectCall> rects;
    int erases = 0;
};

// A canvas that keeps nothing: paints cost only what the core does. The sink
// folds every call in so no call can be optimised away.
class NullCanvas : public Canvas {
public:
    explicit NullCanvas(Rect client = {0, 0, 808, 600}) : client(client) {}

    Rect clientRect() const override { return client; }
    void setTextColor(Color c) override { color = c; }
    Color textColor() const override { return color; }
    void drawText(const Rect& r, std::string_view text) override { sink += r.left + int(text.size()); }
    void selectPen(Pen) override {}
    void selectBrush(Brush) override {}
    void rectangle(const Rect&) override { ++sink; }
    void moveTo(int x, int y) override { sink += x + y; }
    void lineTo(int x, int y) override { sink += x - y; }
    void erase() override {}

    Rect client;
    Color color = 0;
    long sink = 0;
};
