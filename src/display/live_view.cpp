#include <memory>
#include <string>

#include "display/screen_parts.h"
#include "display/screens.h"
#include "display/text_grid.h"
#include "model/derived_values.h"
#include "model/program.h"
#include "platform/ids.h"
#include "platform/live_listener.h"
#include "text/format_number.h"
#include "text/hex.h"

namespace {

// Writes the poll cycle's news straight into the window between paints. Text
// colours carry over from one update to the next, as they do on the window:
// only the updates that name a colour set one.
class CanvasLiveView : public LiveListener {
public:
    explicit CanvasLiveView(Program& program) : program(program) {}

    void clockText(const std::string& hhmmss) override {
        if (!drawing()) return;
        TextAt(program.display, 1, 73);
        SetTextColor(program.display, colors::black);
        DrawText(program.display, hhmmss);
        SetTextColor(program.display, colors::darkGreen);
    }

    void radioRow(int radio) override {
        if (!drawing() || !onRadioList()) return;
        const RadioNetwork& n = program.network;
        if (radio < n.firstVisibleRow || radio > n.lastVisibleRow || radio < 0 || radio >= kRadioSlots) return;
        TextAt(program.display, 7 + radio - n.firstVisibleRow, 1);
        if (program.display.screenNumber == screen::screen0)
            DrawScreen0Row(program.display, program.network, program.clock, radio);
        else
            DrawScreen1Row(program.display, program.network, program.clock, radio);
    }

    // A report carries no measurements: the rest of the row stays as it was, so a
    // radio known only from reports keeps its Fn and a replied radio its values.
    void reportFields(int radio) override {
        if (!drawing() || !onRadioList()) return;
        const RadioNetwork& n = program.network;
        if (radio < n.firstVisibleRow || radio > n.lastVisibleRow || radio < 0 || radio >= kRadioSlots) return;
        const RadioRecord& r = n.radios[static_cast<size_t>(radio)];
        const int row = 7 + radio - n.firstVisibleRow;
        SetTextColor(program.display, colors::darkGreen);
        TextAt(program.display, row, 1);
        DrawText(program.display, IdentityText(program.display, r));
        TextAt(program.display, row, 31);
        DrawText(program.display, FormatNumber(r.dataBytes, "* #####"));
        double km = DistanceKm(r.serialNumber, r.distanceRaw, 4);
        TextAt(program.display, row, 38);
        DrawText(program.display, FormatNumber(program.display.metricUnits ? km : km / 1.609, "* .0 "));
        TextAt(program.display, row, 73);
        DrawTimeReceived(program.display, program.clock, r);
        SetTextColor(program.display, colors::black);
    }

    void masterRow() override {
        if (!drawing() || !onRadioList()) return;
        const MasterStatus& m = program.network.master;
        const bool screen1 = program.display.screenNumber == screen::screen1;
        SetTextColor(program.display, colors::darkGreen);
        TextAt(program.display, 5, 1);
        DrawText(program.display, FormatNumber(m.serialNumber, "#######  ") + "M");
        if (screen1) {
            TextAt(program.display, 5, 14);
            DrawText(program.display, RadioIdText(program.network.radios[0], "* ####", "XXXXXX"));
            TextAt(program.display, 5, 22);
            DrawText(program.display, FormatNumber(m.revision, "### "));
        } else {
            TextAt(program.display, 5, 18);
            DrawText(program.display, FormatNumber(m.noiseLevel, "### "));
        }
        TextAt(program.display, 5, 31);
        DrawText(program.display, FormatNumber(m.dataBytesTotal, "* #####"));
        if (screen1) {
            DrawText(program.display,
                     FormatNumber(TemperatureInUnits(program.display, m.temperatureRaw), "       ###"));
            DrawText(program.display, FormatNumber(MasterVolts(m.voltageRaw), " ##.0"));
        }
        TextAt(program.display, 5, 73);
        DrawText(program.display, m.timeReceived);
    }

    void reportNoise(int noiseLevel) override {
        if (!drawing() || !onRadioList()) return;
        // Column 14 holds the master's radio ID on Screen1, so the noise shows on Screen0 only.
        if (program.display.screenNumber == screen::screen0) {
            TextAt(program.display, 5, 14);
            DrawText(program.display, FormatNumber(noiseLevel, "* # "));
        }
        TextAt(program.display, 5, 31);
        DrawText(program.display, FormatNumber(program.network.master.dataBytesTotal, "* #####"));
    }

    void statusUpdate(int paramIndex) override {
        if (!drawing()) return;
        StatusLineTop(program.display, 460);
        DrawText(program.display, "Update" + FormatNumber(paramIndex, "* # "));
    }

    void statusPollMode(const std::string& text) override {
        if (!drawing()) return;
        StatusLineTop(program.display, 560);
        DrawText(program.display, text);
    }

    void statusSlot(int slot) override {
        if (!drawing()) return;
        SetTextColor(program.display, colors::black);
        StatusLineTop(program.display, 710);
        DrawText(program.display, "Slot=" + FormatNumber(slot, "* ##"));
    }

    // The count stands in the footer; on the lists the end bar names the last
    // radio shown, which a new radio below it may have become.
    void numberRadios(int radioCount) override {
        if (!drawing()) return;
        const unsigned color = program.display.canvas->textColor();
        SetTextColor(program.display, colors::black);
        StatusLineTop(program.display, 0);
        DrawText(program.display, "Number of Radios=" + FormatNumber(radioCount, "* ##   "));
        if (onRadioList()) {
            ComputePageGeometry(program.display, program.network);
            DrawEndBar(program.display, program.network, true);
            DrawListArrows(program.display);
        }
        SetTextColor(program.display, color);
    }

    void replyDump(std::span<const uint8_t> bytes) override {
        if (!drawing()) return;
        for (size_t k = 1; k <= 18 && k <= bytes.size(); ++k) {
            TextAt(program.display, 2, 4 * static_cast<int>(k));
            DrawText(program.display, HexText(bytes[k - 1]));
        }
    }

    // `frame` is the whole trace frame, type byte first and XOR last.
    void traceRow(int row, std::span<const uint8_t> frame) override {
        if (!drawing()) return;
        const size_t end = frame.empty() ? 0 : frame.size() - 1;  // the XOR is not shown
        for (size_t b = 1; b < end; ++b) {
            const int column = b == 1 ? 1 : b == 2 ? 4 : 7 + 3 * static_cast<int>(b - 3);
            TextAt(program.display, row, column);
            DrawText(program.display, HexText(frame[b]));
        }
    }

    void graphicsLiveValue(int first, int second) override {
        if (!drawing() || program.display.screenNumber != screen::graphics3) return;
        SetTextColor(program.display, colors::ochre);
        TextAt(program.display, 27, 72);
        DrawText(program.display, FormatNumber(first, "* # ") + FormatNumber(second, "* #"));
    }

    void datagramInfo(int length, int overrunCount, int firstByte) override {
        if (!drawing()) return;
        TextAt(program.display, 1, 1);
        DrawText(program.display, FormatNumber(length, "####  ") + FormatNumber(overrunCount, "#### ") +
                                      FormatNumber(firstByte, "#### "));
    }

private:
    bool drawing() const { return program.display.canvas != nullptr; }
    bool onRadioList() const { return program.display.screenNumber == screen::screen0 || program.display.screenNumber == screen::screen1; }

    Program& program;
};

}  // namespace

std::unique_ptr<LiveListener> MakeCanvasLiveView(Program& program) {
    return std::make_unique<CanvasLiveView>(program);
}
