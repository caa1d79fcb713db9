#pragma once
#include <string>
#include <string_view>
#include <vector>

// The characters on the window, cell by cell (10 x 16 pixels: row = text bottom / 16,
// column = left / 10), kept beside the painted image so a text screen can be copied
// as text exactly as it stands, live updates included.
class ScreenText {
public:
    void clear();
    // Text drawn with its bottom at `bottom` from x = `left`; overwrites those cells.
    void put(int left, int bottom, std::string_view text);
    // A filled rectangle hides the characters of the cells it covers whole.
    void cover(int left, int top, int right, int bottom);
    // One line per row from the first row, trailing blanks and empty rows at the end dropped.
    std::string text() const;

private:
    std::vector<std::string> rows;
};
