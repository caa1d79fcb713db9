#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/live_listener.h"

// Bytes from hexadecimal text: "F0 12 34 56" (blanks optional between pairs).
std::vector<uint8_t> HexFrame(std::string_view hex);
// Fills the last byte (written as a placeholder) with the XOR of all the others,
// so the frame checks out. An empty vector stays empty.
std::vector<uint8_t> FillXor(std::vector<uint8_t> bytes);
// Appends an XOR byte to frame bytes written without one.
std::vector<uint8_t> AppendXor(std::vector<uint8_t> bytes);
// "F0 12 34" from bytes.
std::string HexText(std::span<const uint8_t> bytes);

// A reply source over bytes fed in pieces, as a link delivers them.
class VectorByteSource : public ByteSource {
public:
    VectorByteSource() = default;
    explicit VectorByteSource(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
    void feed(std::span<const uint8_t> bytes) { data.insert(data.end(), bytes.begin(), bytes.end()); }
    int bytesAvailable() override {
        ++questions;
        return static_cast<int>(data.size() - position);
    }
    void receive(uint8_t* destination, int n) override;
    size_t consumed() const { return position; }
    // Counts the availability questions (the hop wait asks repeatedly).
    int questions = 0;

private:
    std::vector<uint8_t> data;
    size_t position = 0;
};

// A live listener that writes every call down as one line of text:
// "radioRow 3", "masterRow", "reportNoise 5", "statusUpdate 2", "statusPollMode Random  1",
// "statusSlot 7", "numberRadios 4", "replyDump 00 12 34", "traceRow 0 FB 0D 80",
// "graphicsLiveValue 1 2", "datagramInfo 14 0 240", "clockText 12:00:00".
// The clock texts, rows and poll-mode texts are also kept on their own.
class RecordingLiveListener : public LiveListener {
public:
    void clockText(const std::string& hhmmss) override {
        calls.push_back("clockText " + hhmmss);
        clocks.push_back(hhmmss);
    }
    void radioRow(int radio) override {
        calls.push_back("radioRow " + std::to_string(radio));
        rows.push_back(radio);
    }
    void reportFields(int radio) override { calls.push_back("reportFields " + std::to_string(radio)); }
    void masterRow() override { calls.push_back("masterRow"); }
    void reportNoise(int noise) override { calls.push_back("reportNoise " + std::to_string(noise)); }
    void statusUpdate(int index) override { calls.push_back("statusUpdate " + std::to_string(index)); }
    void statusPollMode(const std::string& text) override {
        calls.push_back("statusPollMode " + text);
        statuses.push_back(text);
    }
    void statusSlot(int slot) override { calls.push_back("statusSlot " + std::to_string(slot)); }
    void numberRadios(int count) override { calls.push_back("numberRadios " + std::to_string(count)); }
    void replyDump(std::span<const uint8_t> bytes) override { calls.push_back("replyDump " + HexText(bytes)); }
    void traceRow(int row, std::span<const uint8_t> bytes) override {
        calls.push_back("traceRow " + std::to_string(row) + " " + HexText(bytes));
    }
    void graphicsLiveValue(int first, int second) override {
        calls.push_back("graphicsLiveValue " + std::to_string(first) + " " + std::to_string(second));
    }
    void datagramInfo(int length, int overruns, int firstByte) override {
        calls.push_back("datagramInfo " + std::to_string(length) + " " + std::to_string(overruns) + " " +
                        std::to_string(firstByte));
    }

    std::vector<std::string> calls;
    std::vector<std::string> clocks;
    std::vector<int> rows;
    std::vector<std::string> statuses;
};
