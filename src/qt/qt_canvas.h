#pragma once
#include <QFont>
#include <QImage>
#include <QPainter>
#include <string>
#include <string_view>

#include "platform/canvas.h"

class ScreenText;

// Draws on the window's backing image. Text cells are 10 x 16 pixels.
class QtCanvas : public Canvas {
public:
    // `text`, when given, keeps the characters drawn as a grid beside the image.
    explicit QtCanvas(QImage& image, ScreenText* text = nullptr);
    ~QtCanvas() override;

    Rect clientRect() const override { return client; }
    void setClientRect(const Rect& r) { client = r; }
    void setTextColor(Color c) override { color = c; }
    Color textColor() const override { return color; }
    void drawText(const Rect& r, std::string_view text) override;
    void selectPen(Pen p) override { pen = p; }
    void selectBrush(Brush b) override { brush = b; }
    void rectangle(const Rect& r) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void erase() override;

    static QFont textFont();
    static QColor toQColor(Color c);
    // The characters of a text run, one per cell: a UTF-8 sequence (a typed name) is
    // one character and gives the cells it saves back at the next blank after it,
    // so later columns stay where they are; any other byte is a Latin-1 character.
    static std::u32string cellCharacters(std::string_view text);

private:
    QPen penFor(Pen p) const;

    QImage& image;
    ScreenText* screenText;
    QPainter painter;
    Rect client;
    Color color = 0;
    Pen pen = Pen::black;
    Brush brush = Brush::lightGrey;
    int penX = 0, penY = 0;
    int descent = 0;
};
