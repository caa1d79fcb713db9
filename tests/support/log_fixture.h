#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/window_proc.h"
#include "model/program.h"
#include "platform/clock.h"
#include "support/scripted_host.h"

// Runs a test inside a fresh temporary directory and returns to the old one after.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& path() const { return directory; }

private:
    std::string previous;
    std::string directory;
};

std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A file from tests/data/golden.
std::string GoldenBytes(const std::string& name);

// The time every file test starts at: 03-07-2024 14:05:09.
LocalTime FixtureTime();

// A program in a temporary directory with the clock at FixtureTime().
class FileFixture : public ::testing::Test {
protected:
    FileFixture();
    // The golden table: the master, slaves, repeaters numbered 10 and 26, radios with
    // and without an ID, paths of one to four hops, a radio that never answered.
    void BuildGoldenTable();

    TemporaryDirectory directory;
    ManualClock clock;
    ScriptedHost host;
    std::unique_ptr<Program> program;
};
