#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "display/screens.h"
#include "model/program.h"
#include "model/radio_network.h"
#include "support/recording_canvas.h"

// A program with a hand-set clock at 12:00:00 and a recording window of 808 x 600.
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(LocalTime{2024, 3, 15, 12, 0, 0, 0});
        program = std::make_unique<Program>();
        program->clock = &clock;
        program->live = &quiet;
    }

    void paint() {
        canvas.clear();
        PaintWindow(*program, canvas);
    }

    // A radio that has replied: a plain, healthy reading.
    RadioRecord& addRadio(uint32_t serial) {
        RadioNetwork& n = program->network;
        RadioRecord& r = n.radios[static_cast<size_t>(++n.radioCount)];
        r.serialNumber = serial;
        r.replyCount = 5;
        r.signalLevel = 45;
        r.noiseLevel = 12;
        r.goodPacketsRaw = 230;
        r.freqOffsetCode = 131;
        r.dataBytes = 1500;
        r.distanceRaw = 15000;
        r.disconnectCount = 2;
        r.hopSignalAvg[0] = 30 * 256;
        r.pollScore = 10000;
        r.lastReplySeconds = 12 * 3600 - 5;
        setTime(r, "11:59:55");
        return r;
    }

    static void setTime(RadioRecord& r, const std::string& hhmmss) {
        for (size_t i = 0; i < 8; ++i) r.timeReceived[i] = hhmmss[i];
    }

    ManualClock clock;
    LiveListener quiet;
    std::unique_ptr<Program> program;
    RecordingCanvas canvas;
};
