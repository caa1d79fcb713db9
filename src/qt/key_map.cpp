#include "qt/key_map.h"

#include <Qt>

#include "platform/ids.h"

int VirtualKeyFor(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return key::keypad0 + (qtKey - Qt::Key_0);
        if (qtKey == Qt::Key_Plus) return key::keypadPlus;
        if (qtKey == Qt::Key_Minus) return key::keypadMinus;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return key::letterA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return key::digit0 + (qtKey - Qt::Key_0);
    switch (qtKey) {
        case Qt::Key_Up: return key::up;
        case Qt::Key_Down: return key::down;
        case Qt::Key_Left: return key::left;
        case Qt::Key_Right: return key::right;
        case Qt::Key_PageUp: return key::pageUp;
        case Qt::Key_PageDown: return key::pageDown;
        case Qt::Key_Escape: return key::escape;
        case Qt::Key_Plus:
        case Qt::Key_Equal: return key::plus;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return key::minus;
        case Qt::Key_Return:
        case Qt::Key_Enter: return key::enter;
        case Qt::Key_Space: return key::space;
        case Qt::Key_F1: return key::f1;
        default: return 0;
    }
}
