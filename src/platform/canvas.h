#pragma once
#include <cstdint>
#include <string_view>

// Colours are 0x00BBGGRR, the way the screens name them.
using Color = uint32_t;

namespace colors {
constexpr Color black = 0x000000;
constexpr Color darkGreen = 0x008000;
constexpr Color alarmRed = 0x000080;
constexpr Color silver = 0xC0C0C0;
constexpr Color navy = 0x800000;
constexpr Color ochre = 0x0080C0;
constexpr Color brightGreen = 0x00A000;
constexpr Color darkBlue = 0xA00000;
constexpr Color legendRed = 0x0000A0;
constexpr Color olive = 0x008080;
constexpr Color white = 0xFFFFFF;
}  // namespace colors

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// The six pens made with the window, plus the stock black pen.
enum class Pen { black, red, green, blue, grey, olive, orange };
// Stock brushes used for filled rectangles.
enum class Brush { lightGrey, black, white };

Color PenColor(Pen p);
Color BrushColor(Brush b);

// Where the screens draw. The window draws into its backing image; tests record.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual Rect clientRect() const = 0;
    virtual void setTextColor(Color c) = 0;
    virtual Color textColor() const = 0;
    // One line of text inside r, bottom-aligned, left at r.left, opaque on white.
    virtual void drawText(const Rect& r, std::string_view text) = 0;
    virtual void selectPen(Pen p) = 0;
    virtual void selectBrush(Brush b) = 0;
    // Filled with the current brush and outlined with the current pen.
    virtual void rectangle(const Rect& r) = 0;
    virtual void moveTo(int x, int y) = 0;
    virtual void lineTo(int x, int y) = 0;
    // Fills the whole client area white (an invalidate with erasing).
    virtual void erase() = 0;
};
