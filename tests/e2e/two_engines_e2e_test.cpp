// Two engines in one process, each on its own thread and link, poll two simulated
// networks at once: each table holds its own network and nothing of the other's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "e2e/e2e_checks.h"
#include "e2e/e2e_fixture.h"
#include "engine/engine.h"

namespace {

struct Site {
    std::vector<std::string> simArgs;
    size_t expected = 0;  // radios with the master
    LinkDescription::Kind kind;
    std::unique_ptr<RadioSimProcess> sim;
    std::vector<SimRadio> radios;
    SystemClock clock;
    std::unique_ptr<Engine> engine;
    std::atomic<bool> found{false};
};

TEST(TwoEngines, PollTwoNetworksAtOnceWithoutSharingAByte) {
    TempWorkDir dir;
    Site sites[2];
    sites[0].simArgs = {"--tcp", "127.0.0.1:0", "--radios", "4", "--seed", "3"};
    sites[0].kind = LinkDescription::Kind::tcp;
    sites[0].expected = 5;
    sites[1].simArgs = {"--pty", "--radios", "5", "--seed", "4"};
    sites[1].kind = LinkDescription::Kind::serial;
    sites[1].expected = 6;
    for (Site& site : sites) {
        site.sim = std::make_unique<RadioSimProcess>(site.simArgs);
        ASSERT_TRUE(site.sim->ready());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (site.radios.size() < site.expected && std::chrono::steady_clock::now() < deadline) {
            site.radios = SimNetwork(ParseSimLog(site.sim->logLines()));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        site.engine = std::make_unique<Engine>(site.clock);
        LinkDescription link;
        link.kind = site.kind;
        if (site.kind == LinkDescription::Kind::tcp) {
            link.host = "127.0.0.1";
            link.port = std::to_string(site.sim->port("tcp"));
        } else {
            link.device = site.sim->endpoint("pty");
        }
        const std::string folder = dir.path() + "/site" + std::to_string(&site - sites);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        site.engine->start(folder);
        ASSERT_TRUE(site.engine->open(link).ok);
    }
    for (const Site& site : sites)
        for (const SimRadio& radio : site.radios)
            for (const SimRadio& other : sites[&site == sites ? 1 : 0].radios)
                ASSERT_NE(radio.serial, other.serial) << "the two simulated networks must differ";

    // Each engine ticks on its own thread until its whole network has answered.
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (Site& site : sites)
        threads.emplace_back([&site, &stop] {
            while (!stop && !site.found) {
                site.engine->tick();
                const Program& p = site.engine->state();
                site.found = TableHolds(p, site.radios) && AllAnswered(p);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!(sites[0].found && sites[1].found) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
    for (std::thread& t : threads) t.join();

    for (Site& site : sites) {
        SCOPED_TRACE(site.simArgs[0]);
        const Program& p = site.engine->state();
        EXPECT_TRUE(site.found) << "radios in the table: " << p.network.radioCount;
        EXPECT_TRUE(OnlyTheseRadios(p, site.radios));
        EXPECT_TRUE(site.engine->linkOpen());
        site.engine->stop();
        EXPECT_EQ(p.log.workFolder, dir.path() + "/site" + std::to_string(&site - sites));
    }
}

}  // namespace
