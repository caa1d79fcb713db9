#include "platform/canvas.h"

Color PenColor(Pen p) {
    switch (p) {
        case Pen::black: return 0x000000;
        case Pen::red: return 0x0000FF;
        case Pen::green: return 0x00FF00;
        case Pen::blue: return 0xFF3030;
        case Pen::grey: return 0x808080;
        case Pen::olive: return 0x008080;
        case Pen::orange: return 0x0080FF;
    }
    return 0;
}

Color BrushColor(Brush b) {
    switch (b) {
        case Brush::lightGrey: return 0xC0C0C0;
        case Brush::black: return 0x000000;
        case Brush::white: return 0xFFFFFF;
    }
    return 0;
}
