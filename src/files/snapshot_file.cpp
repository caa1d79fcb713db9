#include <string>

#include "files/log_files.h"
#include "files/log_text.h"
#include "model/derived_values.h"
#include "text/format_number.h"
#include "text/hex.h"

namespace logtext {

std::string TitleLines(const RadioNetwork& network, const LogState& log, const Clock& clock) {
    const LocalTime now = clock.now();
    const int64_t elapsed = SecondsClock(now) - network.runStartSeconds;
    std::string out;
    out += std::string(38, ' ') + log.bannerText + kLineEnd;
    out += std::string(32, ' ') + network.networkFileName + kLineEnd;
    out += std::string(37, ' ') + DateText(now) + "  " + TimeText(now) + std::string(8, ' ') +
           FormatNumber(static_cast<double>(elapsed), "########") + kLineEnd;
    return out;
}

const char* FileWriteKind(int where) {
    switch (where) {
        case kSnapshotFileError: return "Current.log";
        case kDatedLogFileError: return "log";
        case kCsvFileError: return "csv";
        case kReportFileError: return "report";
        case kNetworkFileWriteError: return "network";
        default: return nullptr;
    }
}

int RadiosInTable(const RadioNetwork& network) {
    if (network.radioCount < 0) return 0;
    return network.radioCount > kMaxRadios ? kMaxRadios : network.radioCount;
}

}  // namespace logtext

namespace {

using logtext::kLineEnd;

std::string Fixed8(const std::array<char, 8>& text) { return std::string(text.begin(), text.end()); }

std::string SnapshotMasterLine(const MasterStatus& master) {
    std::string line;
    line += FormatNumber(master.serialNumber, "########          ");
    line += "M           ";
    line += FormatNumber(master.revision, "### ");
    line += FormatNumber(TemperatureFromRaw(master.temperatureRaw), " ### ");
    line += FormatNumber(MasterVolts(master.voltageRaw), " * .0         ");
    line += FormatNumber(master.noiseLevel, " ###     ");
    line += FormatNumber(master.dataBytesTotal, "    * ######                                     ");
    line += master.timeReceived;
    return line;
}

std::string SnapshotRadioLine(const RadioRecord& r) {
    std::string line;
    line += FormatNumber(r.serialNumber, "######## ");
    line += Fixed8(r.name);
    if (r.repeaterNumber == 0)
        line += " S  ";
    else
        line.append(" R").append(HexText(r.repeaterNumber)).append(" ");
    line += RadioIdValid(r) ? FormatNumber(static_cast<double>(RadioId(r)), "* #### ") : " XXXXXX";
    line += FormatNumber(r.revision, "* ## ");
    line += FormatNumber(TemperatureFromRaw(r.temperatureRaw), "* # ");
    line += FormatNumber(RadioVolts(r.serialNumber, r.voltageRaw), " * .0 ");
    line += (r.lineStatus & 0x80) ? " L" : " H";
    line += (r.lineStatus & 0x20) ? "L" : "H";
    line += (r.lineStatus & 0x10) ? "L " : "H ";
    line += FormatNumber(r.signalLevel, "* #");
    line += FormatNumber(r.noiseLevel, "* #");
    line += FormatNumber(GoodPercentLog(r.goodPacketsRaw), " * ##");
    line += FormatNumber(FreqPpm(r.freqOffsetCode), "* #.0");
    line += FormatNumber(r.dataBytes, "* #####");
    line += FormatNumber(DistanceKm(r.serialNumber, r.distanceRaw, 4.0), " * #.0 ");
    line += FormatNumber(r.disconnectCount, "* #");
    line += FormatNumber(r.hopRepeater[0], "* #");
    line += FormatNumber(HopSignal(r.hopSignalAvg[0]), "* #");
    for (int hop = 1; hop <= 3; ++hop) {
        if (r.hopRepeater[hop] > 0) {
            line += FormatNumber(r.hopRepeater[hop], " #");
            line += FormatNumber(HopSignal(r.hopSignalAvg[hop]), " #");
        } else {
            line += "     ";
        }
    }
    line += FormatNumber(PollPercent(r), "  * # ");
    line += Fixed8(r.timeReceived);
    return line;
}

std::string CsvMasterLine(const MasterStatus& master) {
    std::string line;
    line += FormatNumber(master.serialNumber, "########");
    line += ",,M,,";
    line += FormatNumber(master.revision, "###");
    line += ",";
    line += FormatNumber(TemperatureFromRaw(master.temperatureRaw), "###");
    line += ",";
    line += FormatNumber(MasterVolts(master.voltageRaw), " * .0");
    line += ",,,";
    line += FormatNumber(master.noiseLevel, "###");
    line += ",,,";
    line += FormatNumber(master.dataBytesTotal, "* ######");
    line += ",,,,,,,,,,,,";
    line += master.timeReceived;
    return line;
}

std::string CsvRadioLine(const RadioRecord& r) {
    std::string line;
    auto field = [&line](const std::string& text) {
        line += text;
        line += ',';
    };
    field(FormatNumber(r.serialNumber, "########"));
    field(Fixed8(r.name));
    field(r.repeaterNumber == 0 ? "S" : std::string("R").append(HexText(r.repeaterNumber)));
    field(RadioIdValid(r) ? FormatNumber(static_cast<double>(RadioId(r)), "* ####") : "XXXXXX");
    field(FormatNumber(r.revision, "* ##"));
    field(FormatNumber(TemperatureFromRaw(r.temperatureRaw), "* #"));
    field(FormatNumber(RadioVolts(r.serialNumber, r.voltageRaw), "* .0"));
    field(std::string{(r.lineStatus & 0x80) ? 'L' : 'H', (r.lineStatus & 0x20) ? 'L' : 'H',
                      (r.lineStatus & 0x10) ? 'L' : 'H'});
    field(FormatNumber(r.signalLevel, "* #"));
    field(FormatNumber(r.noiseLevel, "* #"));
    field(FormatNumber(GoodPercentLog(r.goodPacketsRaw), "* ##"));
    field(FormatNumber(FreqPpm(r.freqOffsetCode), "* #.0"));
    field(FormatNumber(r.dataBytes, "* #####"));
    field(FormatNumber(DistanceKm(r.serialNumber, r.distanceRaw, 4.0), "* #.0"));
    field(FormatNumber(r.disconnectCount, "* #"));
    field(FormatNumber(r.hopRepeater[0], "* #"));
    field(FormatNumber(HopSignal(r.hopSignalAvg[0]), "* #"));
    for (int hop = 1; hop <= 3; ++hop) {
        if (r.hopRepeater[hop] > 0) {
            field(FormatNumber(r.hopRepeater[hop], "* #"));
            field(FormatNumber(HopSignal(r.hopSignalAvg[hop]), "* #"));
        } else {
            field("");
            field("");
        }
    }
    field(FormatNumber(PollPercent(r), "* #"));
    field(Fixed8(r.timeReceived));
    return line;
}

std::string NumberRadiosLine(const RadioNetwork& network) {
    return "Number Radios=" + FormatNumber(network.radioCount, "###");
}

}  // namespace

std::string SnapshotText(const RadioNetwork& network, const LogState& log, const Clock& clock) {
    const int count = logtext::RadiosInTable(network);
    std::string out;
    out.reserve(static_cast<size_t>(count + 12) * 128);
    out += logtext::TitleLines(network, log, clock);
    out += kLineEnd;
    out += " Radio     Name  Fn     ID   Rev Temp VTG  RCD Sig Nse  %  Freq   Data   Dist Num Rep1 Rep2 "
           "Rep3 Rep4 Poll    Time";
    out += kLineEnd;
    out += "                                  C    V                   ppm   bytes        Dis N Sg N Sg "
           "N Sg N Sg   %     Rcvd";
    out += kLineEnd;
    out += kLineEnd;
    out += SnapshotMasterLine(network.master) + kLineEnd;
    out += kLineEnd;
    for (int i = 1; i <= count; ++i) out += SnapshotRadioLine(network.radios[i]) + kLineEnd;
    out += kLineEnd;
    out += NumberRadiosLine(network);  // the last line has no line end
    return out;
}

std::string CsvText(const RadioNetwork& network, const LogState& log, const Clock& clock) {
    const int count = logtext::RadiosInTable(network);
    std::string out;
    out.reserve(static_cast<size_t>(count + 12) * 128);
    out += logtext::TitleLines(network, log, clock);
    out += kLineEnd;
    out += "Radio,Name,Fn,ID,Rev,Temp in C,VTG in V,RCD,Sig,Nse,%,Freq ppm,Data bytes,Dist,Num Dis,"
           "Rep1#,Rep1 Sg,Rep2#,Rep2 Sg,Rep3#,Rep3 Sg,Rep4#,Rep4 Sg,Poll %,Time Rcvd";
    out += kLineEnd;
    out += kLineEnd;
    out += CsvMasterLine(network.master) + kLineEnd;
    out += kLineEnd;
    for (int i = 1; i <= count; ++i) out += CsvRadioLine(network.radios[i]) + kLineEnd;
    out += kLineEnd;
    out += NumberRadiosLine(network);
    return out;
}
