#include "protocol/decode_json.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "model/derived_values.h"
#include "model/program.h"
#include "model/setup_table.h"
#include "protocol/frame_assembler.h"
#include "protocol/reply_frames.h"

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
void FrameFields(const Program& program, std::span<const uint8_t> f, uint8_t check, JsonObject& o) {
    uint32_t master = uint32_t(program.network.master.serialNumber);
    switch (f[0]) {
        case 0xF0:
            if (auto s = ParseMasterStatus(f, check)) {
                o.number("serial", s->serial)
                    .number("slot", s->slot)
                    .number("dataCount", s->dataCount)
                    .boolean("busy", s->busy)
                    .number("noise", s->noise)
                    .number("temperatureRaw", s->temperatureRaw)
                    .number("voltageRaw", s->voltageRaw)
                    .number("revision", s->revision);
            }
            break;
        case 0xF1:
        case 0xF4:
            if (auto r = ParseLinkReport(f, check)) {
                o.number("serial", LinkReportSerial(*r, master).value_or(r->serial))
                    .number("sequence", r->sequence)
                    .number("masterBytes", r->masterBytes)
                    .number("slaveBytes", r->slaveBytes)
                    .number("noise", r->noise)
                    .number("distanceRaw", r->distanceRaw);
            }
            break;
        case 0xF5:
            if (auto r = ParseTrafficReport(f, check)) {
                o.number("serial", TrafficReportSerial(*r, master).value_or(r->serial))
                    .number("dataBytes", r->dataBytes)
                    .number("bad", r->bad)
                    .number("good", r->good)
                    .number("noise", r->noise)
                    .number("distanceRaw", r->distanceRaw);
            }
            break;
        case 0xF2:
        case 0xF3:
            if (auto e = ParseMemoryEcho(f, check)) {
                o.number("serial", e->serial).number("address", e->address).number("value", e->value);
            }
            break;
        case 0xF8:
        case 0xF9:
            if (auto d = ParseDiagnostics(f, check)) {
                std::string hopList = "[";
                for (int k = 0; k < d->hops; ++k) {
                    HopRecord hop = d->hop(k);
                    if (k) hopList += ',';
                    hopList += JsonObject()
                                   .number("serial", hop.serial)
                                   .number("signal", hop.signal)
                                   .number("distanceRaw", HopDistance(hop))
                                   .str();
                }
                hopList += "]";
                o.number("address", d->address)
                    .number("serial", d->serial)
                    .number("linkSignal", d->linkSignal)
                    .number("hopCount", d->hopCount)
                    .number("good", d->goodPacketsRaw)
                    .number("signal", d->signal)
                    .number("noise", d->noise)
                    .number("lineStatus", d->lineStatus)
                    .number("temperatureRaw", d->temperatureRaw)
                    .number("voltageRaw", d->voltageRaw)
                    .number("freq", d->freq)
                    .number("value", d->value)
                    .number("revision", d->revision)
                    .number("distanceRaw", d->distanceRaw)
                    .raw("hops", hopList);
            }
            break;
        case 0xFB:
            if (auto t = ParseTrace(f, check)) o.number("address", t->address).text("hex", HexBytes(t->bytes));
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
        FrameFields(program, frame, check, line);
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

void ErrorHook(void* context, ProtocolError::Kind, int code, int value) {
    static_cast<JsonLines*>(context)->error(code, value);
}

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
    // The capture has ended: a frame still waiting for hop records gets its
    // second, millisecond by millisecond as the clock of a live line would run.
    while (program->poll.heldFrameLength > 0) {
        clock.advanceMs(1);
        ReadRepliesObserved(*program, &lines);
    }
    lines.finish();
    program->errors.observer = nullptr;

    if (withTable) out += TableLine(*program);
    return out;
}
