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
        TextAt(program, 1, 73);
        SetTextColor(program, colors::black);
        DrawText(program, hhmmss);
        SetTextColor(program, colors::darkGreen);
    }

    void radioRow(int radio) override {
        if (!drawing() || !onRadioList()) return;
        const RadioNetwork& n = program.network;
        if (radio < n.firstVisibleRow || radio > n.lastVisibleRow || radio < 0 || radio >= kRadioSlots) return;
        TextAt(program, 7 + radio - n.firstVisibleRow, 1);
        if (program.display.screenNumber == screen::screen0)
            DrawScreen0Row(program, radio);
        else
            DrawScreen1Row(program, radio);
    }

    // A report carries no measurements: the rest of the row stays as it was, so a
    // radio known only from reports keeps its Fn and a replied radio its values.
    void reportFields(int radio) override {
        if (!drawing() || !onRadioList()) return;
        const RadioNetwork& n = program.network;
        if (radio < n.firstVisibleRow || radio > n.lastVisibleRow || radio < 0 || radio >= kRadioSlots) return;
        const RadioRecord& r = n.radios[static_cast<size_t>(radio)];
        const int row = 7 + radio - n.firstVisibleRow;
        SetTextColor(program, colors::darkGreen);
        TextAt(program, row, 1);
        DrawText(program, IdentityText(program, r));
        TextAt(program, row, 31);
        DrawText(program, FormatNumber(r.dataBytes, "* #####"));
        double km = DistanceKm(r.serialNumber, r.distanceRaw, 4);
        TextAt(program, row, 38);
        DrawText(program, FormatNumber(program.display.metricUnits ? km : km / 1.609, "* .0 "));
        TextAt(program, row, 73);
        DrawTimeReceived(program, r);
        SetTextColor(program, colors::black);
    }

    void masterRow() override {
        if (!drawing() || !onRadioList()) return;
        const MasterStatus& m = program.network.master;
        const bool screen1 = program.display.screenNumber == screen::screen1;
        SetTextColor(program, colors::darkGreen);
        TextAt(program, 5, 1);
        DrawText(program, FormatNumber(m.serialNumber, "#######  ") + "M");
        if (screen1) {
            TextAt(program, 5, 14);
            DrawText(program, RadioIdText(program.network.radios[0], "* ####", "XXXXXX"));
            TextAt(program, 5, 22);
            DrawText(program, FormatNumber(m.revision, "### "));
        } else {
            TextAt(program, 5, 18);
            DrawText(program, FormatNumber(m.noiseLevel, "### "));
        }
        TextAt(program, 5, 31);
        DrawText(program, FormatNumber(m.dataBytesTotal, "* #####"));
        if (screen1) {
            DrawText(program, FormatNumber(TemperatureInUnits(program, m.temperatureRaw), "       ###"));
            DrawText(program, FormatNumber(MasterVolts(m.voltageRaw), " ##.0"));
        }
        TextAt(program, 5, 73);
        DrawText(program, m.timeReceived);
    }

    void reportNoise(int noiseLevel) override {
        if (!drawing() || !onRadioList()) return;
        // Column 14 holds the master's radio ID on Screen1, so the noise shows on Screen0 only.
        if (program.display.screenNumber == screen::screen0) {
            TextAt(program, 5, 14);
            DrawText(program, FormatNumber(noiseLevel, "* # "));
        }
        TextAt(program, 5, 31);
        DrawText(program, FormatNumber(program.network.master.dataBytesTotal, "* #####"));
    }

    void statusUpdate(int paramIndex) override {
        if (!drawing()) return;
        StatusLineTop(program, 460);
        DrawText(program, "Update" + FormatNumber(paramIndex, "* # "));
    }

    void statusPollMode(const std::string& text) override {
        if (!drawing()) return;
        StatusLineTop(program, 560);
        DrawText(program, text);
    }

    void statusSlot(int slot) override {
        if (!drawing()) return;
        SetTextColor(program, colors::black);
        StatusLineTop(program, 710);
        DrawText(program, "Slot=" + FormatNumber(slot, "* ##"));
    }

    // The count stands in the footer; on the lists the end bar names the last
    // radio shown, which a new radio below it may have become.
    void numberRadios(int radioCount) override {
        if (!drawing()) return;
        const unsigned color = program.display.canvas->textColor();
        SetTextColor(program, colors::black);
        StatusLineTop(program, 0);
        DrawText(program, "Number of Radios=" + FormatNumber(radioCount, "* ##   "));
        if (onRadioList()) {
            ComputePageGeometry(program);
            DrawEndBar(program, true);
            DrawListArrows(program);
        }
        SetTextColor(program, color);
    }

    void replyDump(std::span<const uint8_t> bytes) override {
        if (!drawing()) return;
        for (size_t k = 1; k <= 18 && k <= bytes.size(); ++k) {
            TextAt(program, 2, 4 * static_cast<int>(k));
            DrawText(program, HexText(bytes[k - 1]));
        }
    }

    // `frame` is the whole trace frame, type byte first and XOR last.
    void traceRow(int row, std::span<const uint8_t> frame) override {
        if (!drawing()) return;
        const size_t end = frame.empty() ? 0 : frame.size() - 1;  // the XOR is not shown
        for (size_t b = 1; b < end; ++b) {
            const int column = b == 1 ? 1 : b == 2 ? 4 : 7 + 3 * static_cast<int>(b - 3);
            TextAt(program, row, column);
            DrawText(program, HexText(frame[b]));
        }
    }

    void graphicsLiveValue(int first, int second) override {
        if (!drawing() || program.display.screenNumber != screen::graphics3) return;
        SetTextColor(program, colors::ochre);
        TextAt(program, 27, 72);
        DrawText(program, FormatNumber(first, "* # ") + FormatNumber(second, "* #"));
    }

    void datagramInfo(int length, int overrunCount, int firstByte) override {
        if (!drawing()) return;
        TextAt(program, 1, 1);
        DrawText(program, FormatNumber(length, "####  ") + FormatNumber(overrunCount, "#### ") +
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
