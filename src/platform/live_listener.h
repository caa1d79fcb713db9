#pragma once
#include <cstdint>
#include <span>
#include <string>

// What decoding and the poll cycle show between repaints. The window draws these
// on its canvas; the default does nothing, so the engine runs without a window.
class LiveListener {
public:
    virtual ~LiveListener() = default;
    // Time of day at row 1, column 73, every tick.
    virtual void clockText(const std::string& /*hhmmss*/) {}
    // Radio i's row changed (a reply stored, a repeater number given, about to be polled).
    virtual void radioRow(int /*radio*/) {}
    // A link or traffic report about radio i: only the fields a report carries
    // (identity, data bytes, distance, time received) on its row.
    virtual void reportFields(int /*radio*/) {}
    // The master status reply was stored: the master's line on row 5.
    virtual void masterRow() {}
    // A link or traffic report: noise byte minus 16 and the master's data total on row 5.
    virtual void reportNoise(int /*noiseLevel*/) {}
    // "Update" and the parameter index at x = 460 of the upper status line.
    virtual void statusUpdate(int /*paramIndex*/) {}
    // The poll-mode indicator at x = 560, already formatted.
    virtual void statusPollMode(const std::string& /*text*/) {}
    // "Slot=" and the slot number at x = 710.
    virtual void statusSlot(int /*slot*/) {}
    // A reply added a radio: the count in the footer and the end bar's number.
    virtual void numberRadios(int /*radioCount*/) {}
    // The reply's bytes from byte 4 on, in hexadecimal at row 2.
    virtual void replyDump(std::span<const uint8_t> /*bytes*/) {}
    // One trace frame on trace row `row`.
    virtual void traceRow(int /*row*/, std::span<const uint8_t> /*frame*/) {}
    // The live value on Graphics3 at row 27, column 72.
    virtual void graphicsLiveValue(int /*first*/, int /*second*/) {}
    // A UDP datagram taken in: length, overrun count and first byte on row 1.
    virtual void datagramInfo(int /*length*/, int /*overrunCount*/, int /*firstByte*/) {}
};

// A listener that shows nothing, for a program without a window.
LiveListener& SilentLiveListener();

// Where the assembler reads reply bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int bytesAvailable() = 0;
    // Reads exactly n bytes that bytesAvailable() reported.
    virtual void receive(uint8_t* destination, int n) = 0;
};
