#include "app/window_proc.h"

#include <string>

#include "app/export_commands.h"
#include "app/keyboard.h"
#include "app/link_commands.h"
#include "app/menu_commands.h"
#include "app/menu_table.h"
#include "display/screens.h"
#include "engine/engine.h"
#include "link/links.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "platform/host.h"

namespace {

int LowWord(uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
int HighWord(uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
// Mouse coordinates are signed 16-bit values.
int SignedLow(intptr_t v) { return static_cast<int16_t>(v & 0xFFFF); }
int SignedHigh(intptr_t v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

// A non-negative number keeps a blank where its sign would stand.
std::string SignPlace(int v) { return (v < 0 ? "" : " ") + std::to_string(v); }

void OnCreate(Program& program, Host& host) {
    ApplyStartDefaults(program);
    if (Canvas* canvas = host.windowCanvas()) program.display.clientRect = canvas->clientRect();
    host.invalidate(true);
    host.update();
}

void OnLeftButton(Program& program, Host& host, int y) {
    const int top = program.display.clientRect.top;
    const int rows = program.display.rowsPerPage;
    if (top + 80 < y && y < top + 96)
        OnKeyDown(program, host, key::up);
    else if (top + 112 + 16 * rows < y && y < top + 126 + 16 * rows)
        OnKeyDown(program, host, key::down);
}

void OnRightButton(Program& program, Host& host, int y) {
    const int top = program.display.clientRect.top;
    const int bottom = program.display.clientRect.bottom;
    if (top + 80 < y && y < top + 96)
        OnKeyDown(program, host, key::pageUp);
    else if (bottom - 76 < y && y < bottom - 60)
        OnKeyDown(program, host, key::pageDown);
}

void OnDestroy(Program& program, Host& host) {
    // Also reached from inside the dial-up wait, which then ends without a word.
    program.link.windowClosing = true;
    CloseAllLinks(program, host);
    host.quit(0);
}

}  // namespace

intptr_t WindowProc(Program& program, Host& host, unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case msg::create:
            OnCreate(program, host);
            return 0;
        case msg::udpSocket:
            OnUdpReadable(program, host);
            return 0;
        case msg::notify:
            return 0;
        case msg::menuSelect:
            host.setStatusText(std::string(MenuHelpText(LowWord(wParam))));
            return 0;
        case msg::leftButtonDown:
            OnLeftButton(program, host, SignedHigh(lParam));
            return 0;
        case msg::rightButtonDown:
            OnRightButton(program, host, SignedHigh(lParam));
            return 0;
        case msg::mouseMove:
            host.setStatusText(SignPlace(SignedLow(lParam)) + "," + SignPlace(SignedHigh(lParam)));
            return 0;
        case msg::size: {
            Rect& client = program.display.clientRect;
            client.right = client.left + LowWord(static_cast<uintptr_t>(lParam));
            client.bottom = client.top + HighWord(static_cast<uintptr_t>(lParam));
            return 0;
        }
        case msg::timer: DrivingEngine(program).tick(host); return 0;
        case msg::command:
            if (!OnMenuCommand(program, host, LowWord(wParam))) OnExportCommand(program, host, LowWord(wParam));
            return 0;
        case msg::keyDown:
            OnKeyDown(program, host, static_cast<int>(wParam));
            return 0;
        case msg::paint:
            if (Canvas* canvas = host.windowCanvas()) PaintWindow(program, *canvas);
            return 0;
        case msg::destroy:
            OnDestroy(program, host);
            return 0;
        default:
            return 0;
    }
}
