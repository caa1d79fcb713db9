#include "app/window_proc.h"

#include <string>

#include "app/keyboard.h"
#include "app/menu_commands.h"
#include "app/menu_table.h"
#include "display/screens.h"
#include "engine/poll_cycle.h"
#include "files/export_commands.h"
#include "link/links.h"
#include "model/program.h"
#include "model/radio_table.h"
#include "platform/host.h"

namespace {

int lowWord(uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
int highWord(uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
// Mouse coordinates are signed 16-bit values.
int signedLow(intptr_t v) { return static_cast<int16_t>(v & 0xFFFF); }
int signedHigh(intptr_t v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

// A non-negative number keeps a blank where its sign would stand.
std::string signPlace(int v) { return (v < 0 ? "" : " ") + std::to_string(v); }

void onCreate(Program& program, Host& host) {
    program.link.serialPortOpen = 0;
    program.display.metricUnits = true;
    program.poll.pollInterval = 0.2f;
    program.poll.tickAccumulator = 0.01f;
    program.display.alarmTimeSeconds = 60.0f;
    NewNetworkReset(program);
    if (Canvas* canvas = host.windowCanvas()) program.display.clientRect = canvas->clientRect();
    host.invalidate(true);
    host.update();
}

void onLeftButton(Program& program, Host& host, int y) {
    const int top = program.display.clientRect.top;
    const int rows = program.display.rowsPerPage;
    if (top + 80 < y && y < top + 96)
        onKeyDown(program, host, key::up);
    else if (top + 112 + 16 * rows < y && y < top + 126 + 16 * rows)
        onKeyDown(program, host, key::down);
}

void onRightButton(Program& program, Host& host, int y) {
    const int top = program.display.clientRect.top;
    const int bottom = program.display.clientRect.bottom;
    if (top + 80 < y && y < top + 96)
        onKeyDown(program, host, key::pageUp);
    else if (bottom - 76 < y && y < bottom - 60)
        onKeyDown(program, host, key::pageDown);
}

void onDestroy(Program& program, Host& host) {
    // Also reached from inside the dial-up wait, which then ends without a word.
    program.link.windowClosing = true;
    closeAllLinks(program, host);
    host.quit(0);
}

}  // namespace

intptr_t windowProc(Program& program, Host& host, unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case msg::create:
            onCreate(program, host);
            return 0;
        case msg::udpSocket:
            onUdpReadable(program, host);
            return 0;
        case msg::notify:
            return 0;
        case msg::menuSelect:
            host.setStatusText(std::string(MenuHelpText(lowWord(wParam))));
            return 0;
        case msg::leftButtonDown:
            onLeftButton(program, host, signedHigh(lParam));
            return 0;
        case msg::rightButtonDown:
            onRightButton(program, host, signedHigh(lParam));
            return 0;
        case msg::mouseMove:
            host.setStatusText(signPlace(signedLow(lParam)) + "," + signPlace(signedHigh(lParam)));
            return 0;
        case msg::size: {
            Rect& client = program.display.clientRect;
            client.right = client.left + lowWord(static_cast<uintptr_t>(lParam));
            client.bottom = client.top + highWord(static_cast<uintptr_t>(lParam));
            return 0;
        }
        case msg::timer:
            PollTick(program, host);
            return 0;
        case msg::command:
            if (!OnMenuCommand(program, host, lowWord(wParam))) OnExportCommand(program, host, lowWord(wParam));
            return 0;
        case msg::keyDown:
            onKeyDown(program, host, static_cast<int>(wParam));
            return 0;
        case msg::paint:
            if (Canvas* canvas = host.windowCanvas()) PaintWindow(program, *canvas);
            return 0;
        case msg::destroy:
            onDestroy(program, host);
            return 0;
        default:
            return 0;
    }
}
