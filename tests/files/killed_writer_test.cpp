// A writer killed at any moment leaves each file either as it was or as it was
// going to be, whole: never a mix, never a half.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>

#include "app/file_commands.h"
#include "files/log_files.h"
#include "files/network_file.h"
#include "model/radio_table.h"
#include "support/log_fixture.h"

namespace {

class KilledWriter : public FileFixture {
protected:
    KilledWriter() {
        BuildGoldenTable();
        RadioNetwork& n = program->network;
        // A full table, so every write takes a while and a kill lands inside it.
        for (int i = n.radioCount + 1; i <= kMaxRadios; ++i) n.radios[i].serialNumber = 3000000 + i;
        n.radioCount = kMaxRadios;
        HistoryRow& h = n.history[1];
        h.historyCount = kHistorySamples;
        for (int s = 1; s <= kHistorySamples; ++s) h.samples[s].time = s;
    }
    // The two versions a file alternates between.
    void version(int v) {
        program->network.networkFileName = v == 0 ? "OLD.RAD" : "NEW.RAD";
        program->network.radios[1].name = MakeRadioName(v == 0 ? "Old" : "New");
    }
};

struct Case {
    const char* file;
    std::function<void(Program&)> write;
    std::function<std::string(const Program&)> text;
};

TEST_F(KilledWriter, FilesAreAlwaysTheOldOrTheNewOneWhole) {
    const std::string report = std::to_string(program->network.radios[1].serialNumber) + ".dat";
    const Case cases[] = {
        {"Current.log",
         [](Program& p) {
             p.log.lastLogMinute = -1;  // a new minute: the log is rewritten
             LoggingStep(p);
         },
         [](const Program& p) { return SnapshotText(p.network, p.log, *p.clock); }},
        {"net.RAD",
         [](Program& p) {
             std::string error;
             WriteNetworkFile(p.log.workFolder, p.network, p.link, p.errors, "net.RAD", error);
         },
         [](const Program& p) { return NetworkFileText(p.network, p.link); }},
        {report.c_str(),
         [](Program& p) { WriteSettingsReport(p.log.workFolder, p.network, p.setup, p.errors, nullptr, 1); },
         [](const Program& p) { return SettingsReportText(p.network, p.setup, 1); }},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        std::string versions[2];
        for (int v = 0; v < 2; ++v) {
            version(v);
            versions[v] = c.text(*program);
        }
        ASSERT_NE(versions[0], versions[1]);
        version(0);
        c.write(*program);
        for (int round = 0; round < 40; ++round) {
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(ready[0]);
                for (int v = 1;; v ^= 1) {
                    version(v);
                    c.write(*program);
                    if (v == 1 && ready[1] >= 0) {
                        (void)!::write(ready[1], "x", 1);
                        ::close(ready[1]);
                        ready[1] = -1;
                    }
                }
            }
            ::close(ready[1]);
            char byte;
            ASSERT_EQ(::read(ready[0], &byte, 1), 1);
            ::close(ready[0]);
            ::usleep(std::uniform_int_distribution<unsigned>(0, 3000)(random));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status));
            const std::string now = ReadFileBytes(c.file);
            EXPECT_TRUE(now == versions[0] || now == versions[1])
                << c.file << " round " << round << ": " << now.size() << " bytes";
        }
    }
}

}  // namespace
