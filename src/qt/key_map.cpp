#include "qt/key_map.h"

#include <Qt>

int VirtualKeyFor(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 96 + (qtKey - Qt::Key_0);
        if (qtKey == Qt::Key_Plus) return 107;
        if (qtKey == Qt::Key_Minus) return 109;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 65 + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 48 + (qtKey - Qt::Key_0);
    switch (qtKey) {
        case Qt::Key_Up: return 38;
        case Qt::Key_Down: return 40;
        case Qt::Key_Left: return 37;
        case Qt::Key_Right: return 39;
        case Qt::Key_PageUp: return 33;
        case Qt::Key_PageDown: return 34;
        case Qt::Key_Escape: return 27;
        case Qt::Key_Plus:
        case Qt::Key_Equal: return 187;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return 189;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        case Qt::Key_Space: return 32;
        case Qt::Key_F1: return 112;
        default: return 0;
    }
}
