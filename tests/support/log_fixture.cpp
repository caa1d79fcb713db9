#include "support/log_fixture.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "model/derived_values.h"
#include "model/radio_table.h"

TemporaryDirectory::TemporaryDirectory() {
    previous = std::filesystem::current_path().string();
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-files-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    directory = pattern;
    std::filesystem::current_path(directory);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

namespace {
// Where the tests started: a relative source path is relative to it, and the
// file tests move into temporary directories before they read golden files.
const std::filesystem::path startDirectory = std::filesystem::current_path();
}  // namespace

std::string GoldenBytes(const std::string& name) {
    const std::filesystem::path here = (startDirectory / __FILE__).parent_path();
    const std::filesystem::path file = here.parent_path() / "data" / "golden" / name;
    if (!std::filesystem::exists(file)) ADD_FAILURE() << "missing golden file " << file;
    return ReadFileBytes(file.string());
}

LocalTime FixtureTime() {
    LocalTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 7;
    t.hour = 14;
    t.minute = 5;
    t.second = 9;
    return t;
}

FileFixture::FileFixture() : clock(FixtureTime()) { program = CreateProgram(clock); }

namespace {

void SetParam(RadioRecord& radio, int row, int value) {
    radio.eepromValue[row] = static_cast<uint8_t>(value);
    radio.eepromValid[row] = 1;
}

void SetTime(RadioRecord& radio, const char* text) {
    for (int i = 0; i < 8; ++i) radio.timeReceived[i] = text[i];
}

void SetHop(RadioRecord& radio, int hop, int repeater, int signalAvg) {
    radio.hopRepeater[hop] = static_cast<uint8_t>(repeater);
    radio.hopSignalAvg[hop] = static_cast<uint16_t>(signalAvg);
}

}  // namespace

void FileFixture::BuildGoldenTable() {
    RadioNetwork& n = program->network;
    n.networkFileName = "SITE7.RAD";
    n.runStartSeconds = SecondsClock(FixtureTime()) - 3909;
    n.runStartTime = "13:00:00";
    n.runStartDate = "03-07-2024";

    MasterStatus& m = n.master;
    m.serialNumber = 2412345;
    m.revision = 23;
    m.temperatureRaw = 128;  // 28 C
    m.voltageRaw = 200;      // 25.4 V on the 32.5 V scale
    m.noiseLevel = 30;
    m.dataBytesTotal = 123456;
    m.timeReceived = "14:04:58";
    n.radios[0].serialNumber = 2412345;
    n.radios[0].name = MakeRadioName("MASTER");

    // 1: a slave talking to the master directly, no ID.
    RadioRecord& r1 = n.radios[1];
    r1.serialNumber = 1234567;
    r1.name = MakeRadioName("Pump1");
    r1.revision = 5;
    r1.temperatureRaw = 128;
    r1.voltageRaw = 200;  // 11.7 V on the 15 V scale
    r1.lineStatus = 0xA3;
    r1.signalLevel = 45;
    r1.noiseLevel = 12;
    r1.goodPacketsRaw = 230;
    r1.freqOffsetCode = 150;
    r1.dataBytes = 5120;
    r1.distanceRaw = 12345;
    r1.disconnectCount = 3;
    SetHop(r1, 0, 0, 45 * 256);
    r1.pollScore = 10000;
    SetTime(r1, "14:04:55");

    // 2: repeater 10 with its ID read (258, the super term wraps).
    RadioRecord& r2 = n.radios[2];
    r2.serialNumber = 2415000;
    r2.name = MakeRadioName("Tower A");
    r2.repeaterNumber = 10;
    r2.revision = 12;
    r2.temperatureRaw = 200;
    r2.voltageRaw = 220;
    r2.lineStatus = 0x00;
    r2.signalLevel = 60;
    r2.noiseLevel = 8;
    r2.goodPacketsRaw = 255;
    r2.freqOffsetCode = 118;
    r2.dataBytes = 0;
    r2.distanceRaw = 20000;
    SetHop(r2, 0, 0, 60 * 256);
    r2.pollScore = 9800;
    SetTime(r2, "14:05:01");
    SetParam(r2, 0, 3);
    SetParam(r2, 1, 7);
    SetParam(r2, 29, 1);
    SetParam(r2, 30, 2);
    SetParam(r2, 33, 255);

    // 3: repeater 26 behind repeater 10; only two of the three ID parameters read.
    RadioRecord& r3 = n.radios[3];
    r3.serialNumber = 9150000;
    r3.name = MakeRadioName("Hilltop");
    r3.repeaterNumber = 26;
    r3.revision = 7;
    r3.temperatureRaw = 150;
    r3.voltageRaw = 180;
    r3.lineStatus = 0x90;
    r3.signalLevel = 52;
    r3.noiseLevel = 15;
    r3.goodPacketsRaw = 200;
    r3.freqOffsetCode = 131;
    r3.dataBytes = 777;
    r3.distanceRaw = 31770;
    r3.disconnectCount = 12;
    SetHop(r3, 0, 10, 50 * 256 + 64);
    r3.pollScore = 7421;
    SetTime(r3, "14:03:30");
    SetParam(r3, 29, 4);
    SetParam(r3, 30, 5);

    // 4: a slave four hops out, hop 2 empty; ID capped at 9999; the 6.2 km offset.
    RadioRecord& r4 = n.radios[4];
    r4.serialNumber = 0x571234;
    r4.revision = 9;
    r4.temperatureRaw = 100;
    r4.voltageRaw = 240;
    r4.lineStatus = 0x30;
    r4.signalLevel = 33;
    r4.noiseLevel = 20;
    r4.goodPacketsRaw = 128;
    r4.freqOffsetCode = 200;
    r4.dataBytes = 123456;
    r4.distanceRaw = 9000;
    r4.disconnectCount = 255;
    SetHop(r4, 0, 26, 40 * 256);
    SetHop(r4, 1, 10, 55 * 256 + 100);
    SetHop(r4, 3, 5, 12 * 256);
    r4.pollScore = 10199;
    SetTime(r4, "14:05:08");
    SetParam(r4, 29, 0x12);
    SetParam(r4, 30, 0x34);
    SetParam(r4, 33, 0);

    // 5: in the table but never answered.
    RadioRecord& r5 = n.radios[5];
    r5.serialNumber = 3000001;
    r5.name = MakeRadioName("Spare");

    n.radioCount = 5;
    n.repeaterCount = 26;

    // History of repeater 10 and of the master.
    HistoryRow& h2 = n.history[2];
    h2.historyCount = 3;
    h2.samples[1] = {12, 60, 8, 230, 128, 220, 138, 4096, 40, 2};
    h2.samples[2] = {75, 58, 9, 255, 129, 221, 140, 123456789, 1234567, 0};
    h2.samples[3] = {3601, 61, 7, 100, 130, 100, 128, 0, 0, 5};
    HistoryRow& h0 = n.history[0];
    h0.historyCount = 1;
    h0.samples[1] = {6, 90, 30, 255, 128, 200, 128, 512, 10, 1};
}
