#include "poll/decode_json.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "app/program.h"
#include "network/derived_values.h"
#include "poll/decoders.h"
#include "poll/frame_assembler.h"
#include "setup/setup_table.h"

namespace {

class CaptureSource : public ByteSource {
public:
    explicit CaptureSource(std::span<const uint8_t> bytes) : bytes(bytes) {}
    int bytesAvailable() override { return int(bytes.size() - position); }
    void receive(uint8_t* destination, int n) override {
        for (int i = 0; i < n && position < bytes.size(); ++i) destination[i] = bytes[position++];
    }
    size_t position = 0;

private:
    std::span<const uint8_t> bytes;
};

// One JSON object, written field by field.
class JsonObject {
public:
    JsonObject& number(const char* key, int64_t value) { return raw(key, std::to_string(value)); }
    JsonObject& boolean(const char* key, bool value) { return raw(key, value ? "true" : "false"); }
    JsonObject& text(const char* key, std::string_view value) { return raw(key, Quote(value)); }
    JsonObject& raw(const char* key, std::string_view json) {
        body += body.empty() ? "{" : ",";
        body += '"';
        body += key;
        body += "\":";
        body += json;
        return *this;
    }
    std::string str() const { return body.empty() ? "{}" : body + "}"; }

    static std::string Quote(std::string_view value) {
        std::string q = "\"";
        for (unsigned char c : value) {
            if (c == '"' || c == '\\') {
                q += '\\';
                q += char(c);
            } else if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                q += buf;
            } else {
                q += char(c);
            }
        }
        return q + "\"";
    }

private:
    std::string body;
};

std::string Hex2(int value) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFF);
    return buf;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) text += ' ';
        text += Hex2(bytes[i]);
    }
    return text;
}

template <typename T>
std::string JsonArray(const T& values, int count) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        if (i) text += ',';
        text += std::to_string(int64_t(values[size_t(i)]));
    }
    return text + "]";
}

// The fields of one frame, bias removed, as the program state stands before it
// is decoded (an 0xF4 or 0xF5 takes the master's top serial bits from it).
void FrameFields(const Program& program, std::span<const uint8_t> f, JsonObject& o) {
    uint32_t masterTop = uint32_t(program.network.master.serialNumber) & 0xF00000u;
    int length = int(f.size());
    switch (f[0]) {
        case 0xF0:
            o.number("serial", Serial24(f, 1))
                .number("slot", f[4])
                .number("dataCount", f[8] * 65536 + f[5] * 256 + f[6])
                .boolean("busy", (f[7] & 0x80) != 0)
                .number("noise", (f[7] & 0x7F) - 16)
                .number("temperatureRaw", f[10])
                .number("voltageRaw", f[11])
                .number("revision", f[12]);
            break;
        case 0xF1:
        case 0xF4: {
            uint32_t serial = Serial24(f, 1) + (f[0] == 0xF4 ? masterTop : 0);
            o.number("serial", serial)
                .number("sequence", f[5])
                .number("masterBytes", f[6])
                .number("slaveBytes", f[7])
                .number("noise", f[8] - 16)
                .number("distanceRaw", DistanceFromWord(f[9], f[10]));
            break;
        }
        case 0xF5: {
            uint32_t serial = Serial24(f, 1);
            if (serial >= 0x10000 && serial < 0x100000) serial += masterTop;
            o.number("serial", serial)
                .number("dataBytes", f[4] * 256 + f[5])
                .number("bad", f[6])
                .number("good", f[7])
                .number("noise", f[8] - 16)
                .number("distanceRaw", DistanceFromWord(f[9], f[10]));
            break;
        }
        case 0xF2:
        case 0xF3:
            o.number("serial", Serial24(f, 1)).number("address", f[4] * 256 + f[5]).number("value", f[6]);
            break;
        case 0xF8:
        case 0xF9: {
            int hops = (length - 21) / 6;
            std::string hopList = "[";
            for (int k = 0; k < hops; ++k) {
                int at = 18 + 6 * k;
                if (k) hopList += ',';
                hopList += JsonObject()
                               .number("serial", Serial24(f, at))
                               .number("signal", f[at + 3] - 16)
                               .number("distanceRaw", DistanceFromWord(f[at + 4], f[at + 5]))
                               .str();
            }
            hopList += "]";
            int32_t distance = hops == 0 ? DistanceFromWord(f[18], f[19]) : DistanceFromWord(f[22], f[23]);
            o.number("address", f[1] * 256 + f[2])
                .number("serial", Serial24(f, 4))
                .number("linkSignal", f[3] - 16)
                .number("hopCount", f[7])
                .number("good", f[8])
                .number("signal", f[9] - 16)
                .number("noise", f[10] - 16)
                .number("lineStatus", f[11])
                .number("temperatureRaw", f[13])
                .number("voltageRaw", f[14])
                .number("freq", f[15])
                .number("value", f[16])
                .number("revision", f[17])
                .number("distanceRaw", distance)
                .raw("hops", hopList);
            break;
        }
        case 0xFB:
            o.number("address", f[1] * 256 + f[2]).text("hex", HexBytes(f));
            break;
        default:
            break;
    }
}

// Places every frame and every error record at its byte offset. Errors met while
// a frame is being read or decoded follow that frame's line.
class JsonLines : public FrameObserver {
public:
    JsonLines(Program& program, CaptureSource& source, std::string& out)
        : program(program), source(source), out(out) {}

    void typeByte(uint8_t type) override {
        offset = source.position - 1;
        inFrame = ReplyWaitCount(type) >= 0;
    }
    void frameRead(std::span<const uint8_t> frame, uint8_t check) override {
        JsonObject line;
        line.number("offset", int64_t(offset))
            .text("type", Hex2(frame[0]))
            .number("length", int64_t(frame.size()))
            .text("checksum", check == 0 ? "ok" : "bad");
        FrameFields(program, frame, line);
        out += line.str();
        out += '\n';
    }
    void frameDone() override {
        inFrame = false;
        for (auto [code, value] : held) writeError(code, value);
        held.clear();
    }
    void error(int code, int value) {
        if (inFrame) {
            held.emplace_back(code, value);
        } else {
            writeError(code, value);
        }
    }
    // A frame cut off by the end of the capture: its errors still count.
    void finish() { frameDone(); }

private:
    void writeError(int code, int value) {
        out += JsonObject().number("offset", int64_t(offset)).number("error", code).number("value", value).str();
        out += '\n';
    }

    Program& program;
    CaptureSource& source;
    std::string& out;
    size_t offset = 0;
    bool inFrame = false;
    std::vector<std::pair<int, int>> held;
};

void ErrorHook(void* context, int code, int value) { static_cast<JsonLines*>(context)->error(code, value); }

std::string TableLine(const Program& program) {
    const RadioNetwork& network = program.network;
    const MasterStatus& m = network.master;
    JsonObject master;
    master.number("serialNumber", m.serialNumber)
        .number("noiseLevel", m.noiseLevel)
        .number("temperatureRaw", m.temperatureRaw)
        .number("voltageRaw", m.voltageRaw)
        .number("revision", m.revision)
        .number("dataBytesTotal", m.dataBytesTotal);

    std::string radios = "[";
    int last = std::min(network.radioCount, kMaxRadios);
    for (int i = 0; i <= last; ++i) {
        const RadioRecord& r = network.radios[size_t(i)];
        JsonObject values;
        for (int row = 0; row < kParamSlots; ++row) {
            if (r.eepromValid[size_t(row)]) values.raw(std::to_string(row).c_str(), std::to_string(r.eepromValue[size_t(row)]));
        }
        JsonObject radio;
        radio.number("index", i)
            .number("serialNumber", r.serialNumber)
            .text("name", NameText(r.name))
            .number("repeaterNumber", r.repeaterNumber)
            .number("pollScore", r.pollScore)
            .number("replyCount", r.replyCount)
            .number("dataBytes", r.dataBytes)
            .number("distanceRaw", r.distanceRaw)
            .number("disconnectCount", r.disconnectCount)
            .number("lineStatus", r.lineStatus)
            .number("signalLevel", r.signalLevel)
            .number("noiseLevel", r.noiseLevel)
            .number("goodPacketsRaw", r.goodPacketsRaw)
            .number("freqOffsetCode", r.freqOffsetCode)
            .raw("hopRepeater", JsonArray(r.hopRepeater, 4))
            .raw("hopSignalAvg", JsonArray(r.hopSignalAvg, 4))
            .number("historyCount", i < kHistoryRows ? network.history[size_t(i)].historyCount : 0)
            .raw("eepromValue", values.str());
        if (i) radios += ',';
        radios += radio.str();
    }
    radios += "]";

    JsonObject errors;
    errors.number("last", program.errors.lastCode).number("value", program.errors.lastValue).number("count", program.errors.count);

    return JsonObject()
               .raw("master", master.str())
               .number("radioCount", network.radioCount)
               .raw("radios", radios)
               .raw("errors", errors.str())
               .str() +
           "\n";
}

}  // namespace

std::string DecodeCaptureToJson(std::span<const uint8_t> capture, bool withTable) {
    // A fresh program at a fixed time, so the same capture always gives the same lines.
    ManualClock clock(LocalTime{2000, 1, 1, 0, 0, 0, 0});
    LiveListener quiet;
    CaptureSource source(capture);
    auto program = std::make_unique<Program>();
    program->clock = &clock;
    program->live = &quiet;
    program->replySource = &source;
    FillSetupParameterTable(program->setup);
    program->setup.setupParamCount = 39;
    program->network.runStartSeconds = SecondsClock(clock.now());

    std::string out;
    JsonLines lines(*program, source, out);
    program->errors.observer = &ErrorHook;
    program->errors.observerContext = &lines;
    ReadRepliesObserved(*program, &lines);
    lines.finish();
    program->errors.observer = nullptr;

    if (withTable) out += TableLine(*program);
    return out;
}
