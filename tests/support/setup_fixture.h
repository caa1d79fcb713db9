#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/poll_cycle.h"
#include "model/program.h"
#include "model/radio_network.h"
#include "model/setup_table.h"
#include "platform/clock.h"
#include "support/recording_canvas.h"
#include "support/scripted_host.h"

// A program with the parameter table filled, a recording canvas and a scripted host.
class SetupFixture : public ::testing::Test {
protected:
    SetupFixture() {
        program = std::make_unique<Program>();
        program->clock = &clock;
        program->live = &live;
        ConnectPollCycle(*program);
        FillSetupParameterTable(program->setup);
        program->display.canvas = &canvas;
        program->display.clientRect = canvas.clientRect();
        program->display.rowsPerPage = 23;  // (600 - 232) / 16
        host.canvas = &canvas;
    }

    // Radios 1..count with serials base, base + 1, ...
    void addRadios(int count, uint32_t base = 5000001) {
        for (int i = 1; i <= count; ++i) program->network.radios[i].serialNumber = base + i - 1;
        program->network.radioCount = count;
    }

    void setParam(int radio, int row, int value) {
        program->network.radios[radio].eepromValue[row] = static_cast<uint8_t>(value);
        program->network.radios[radio].eepromValid[row] = 1;
    }

    ManualClock clock;
    LiveListener live;
    RecordingCanvas canvas;
    ScriptedHost host;
    std::unique_ptr<Program> program;
};
