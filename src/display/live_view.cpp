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
        textAt(program, 1, 73);
        setTextColor(program, colors::black);
        drawText(program, hhmmss);
        setTextColor(program, colors::darkGreen);
    }

    void radioRow(int radio) override {
        if (!drawing() || !onRadioList()) return;
        const RadioNetwork& n = program.network;
        if (radio < n.firstVisibleRow || radio > n.lastVisibleRow || radio < 0 || radio >= kRadioSlots) return;
        textAt(program, 7 + radio - n.firstVisibleRow, 1);
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
        setTextColor(program, colors::darkGreen);
        textAt(program, row, 1);
        drawText(program, IdentityText(program, r));
        textAt(program, row, 31);
        drawText(program, formatNumber(r.dataBytes, "* #####"));
        double km = DistanceKm(r.serialNumber, r.distanceRaw, 4);
        textAt(program, row, 38);
        drawText(program, formatNumber(program.display.metricUnits ? km : km / 1.609, "* .0 "));
        textAt(program, row, 73);
        DrawTimeReceived(program, r);
        setTextColor(program, colors::black);
    }

    void masterRow() override {
        if (!drawing() || !onRadioList()) return;
        const MasterStatus& m = program.network.master;
        const bool screen1 = program.display.screenNumber == screen::screen1;
        setTextColor(program, colors::darkGreen);
        textAt(program, 5, 1);
        drawText(program, formatNumber(m.serialNumber, "#######  ") + "M");
        if (screen1) {
            textAt(program, 5, 14);
            drawText(program, RadioIdText(program.network.radios[0], "* ####", "XXXXXX"));
            textAt(program, 5, 22);
            drawText(program, formatNumber(m.revision, "### "));
        } else {
            textAt(program, 5, 18);
            drawText(program, formatNumber(m.noiseLevel, "### "));
        }
        textAt(program, 5, 31);
        drawText(program, formatNumber(m.dataBytesTotal, "* #####"));
        if (screen1) {
            drawText(program, formatNumber(TemperatureInUnits(program, m.temperatureRaw), "       ###"));
            drawText(program, formatNumber(MasterVolts(m.voltageRaw), " ##.0"));
        }
        textAt(program, 5, 73);
        drawText(program, m.timeReceived);
    }

    void reportNoise(int noiseLevel) override {
        if (!drawing() || !onRadioList()) return;
        // Column 14 holds the master's radio ID on Screen1, so the noise shows on Screen0 only.
        if (program.display.screenNumber == screen::screen0) {
            textAt(program, 5, 14);
            drawText(program, formatNumber(noiseLevel, "* # "));
        }
        textAt(program, 5, 31);
        drawText(program, formatNumber(program.network.master.dataBytesTotal, "* #####"));
    }

    void statusUpdate(int paramIndex) override {
        if (!drawing()) return;
        statusLineTop(program, 460);
        drawText(program, "Update" + formatNumber(paramIndex, "* # "));
    }

    void statusPollMode(const std::string& text) override {
        if (!drawing()) return;
        statusLineTop(program, 560);
        drawText(program, text);
    }

    void statusSlot(int slot) override {
        if (!drawing()) return;
        setTextColor(program, colors::black);
        statusLineTop(program, 710);
        drawText(program, "Slot=" + formatNumber(slot, "* ##"));
    }

    // The count stands in the footer; on the lists the end bar names the last
    // radio shown, which a new radio below it may have become.
    void numberRadios(int radioCount) override {
        if (!drawing()) return;
        const unsigned color = program.display.canvas->textColor();
        setTextColor(program, colors::black);
        statusLineTop(program, 0);
        drawText(program, "Number of Radios=" + formatNumber(radioCount, "* ##   "));
        if (onRadioList()) {
            ComputePageGeometry(program);
            DrawEndBar(program, true);
            DrawListArrows(program);
        }
        setTextColor(program, color);
    }

    void replyDump(std::span<const uint8_t> bytes) override {
        if (!drawing()) return;
        for (size_t k = 1; k <= 18 && k <= bytes.size(); ++k) {
            textAt(program, 2, 4 * static_cast<int>(k));
            drawText(program, HexText(bytes[k - 1]));
        }
    }

    // `frame` is the whole trace frame, type byte first and XOR last.
    void traceRow(int row, std::span<const uint8_t> frame) override {
        if (!drawing()) return;
        const size_t end = frame.empty() ? 0 : frame.size() - 1;  // the XOR is not shown
        for (size_t b = 1; b < end; ++b) {
            const int column = b == 1 ? 1 : b == 2 ? 4 : 7 + 3 * static_cast<int>(b - 3);
            textAt(program, row, column);
            drawText(program, HexText(frame[b]));
        }
    }

    void graphicsLiveValue(int first, int second) override {
        if (!drawing() || program.display.screenNumber != screen::graphics3) return;
        setTextColor(program, colors::ochre);
        textAt(program, 27, 72);
        drawText(program, formatNumber(first, "* # ") + formatNumber(second, "* #"));
    }

    void datagramInfo(int length, int overrunCount, int firstByte) override {
        if (!drawing()) return;
        textAt(program, 1, 1);
        drawText(program, formatNumber(length, "####  ") + formatNumber(overrunCount, "#### ") +
                              formatNumber(firstByte, "#### "));
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
