// The simulated network written as a network file the program can open.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "network.h"
#include "network_file.h"
#include "options.h"

namespace radiosim {
namespace {

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(NetworkFile, OneTwentyCharacterLinePerRadioInNetworkOrder) {
    const Network net(NetworkConfig{12, -1, 7});
    const auto lines = CrLfLines(NetworkFileText(net, std::nullopt));
    ASSERT_EQ(lines.size(), 12u);  // the master is not listed
    int repeatersSeen = 0;
    for (int i = 1; i < net.size(); ++i) {
        const Radio& r = net.at(i);
        const std::string& line = lines[static_cast<size_t>(i - 1)];
        ASSERT_EQ(line.size(), 20u) << line;
        char serial[16];
        std::snprintf(serial, sizeof serial, "%8u", static_cast<unsigned>(r.serial));
        EXPECT_EQ(line.substr(0, 8), serial);
        EXPECT_EQ(line[11], ' ');
        if (r.role == Role::Repeater) {
            ++repeatersSeen;
            // Numbered in list order, as the program numbers them when it meets them.
            EXPECT_EQ(r.repeaterNumber, repeatersSeen);
            char number[16];
            std::snprintf(number, sizeof number, "%3d", repeatersSeen);
            EXPECT_EQ(line.substr(8, 3), number);
            char name[32];
            std::snprintf(name, sizeof name, "Rep%02d   ", repeatersSeen);
            EXPECT_EQ(line.substr(12), name);
        } else {
            EXPECT_EQ(line.substr(8, 3), "  0");
            char name[32];
            std::snprintf(name, sizeof name, "Site%03d ", i);
            EXPECT_EQ(line.substr(12), name);
        }
    }
    EXPECT_EQ(repeatersSeen, 3);
}

TEST(NetworkFile, ALargeNetworkKeepsEveryLineAtTwentyCharacters) {
    const Network net(NetworkConfig{2047, -1, 3});
    const auto lines = CrLfLines(NetworkFileText(net, std::nullopt));
    ASSERT_EQ(lines.size(), 2047u);
    for (const auto& line : lines) ASSERT_EQ(line.size(), 20u) << line;
    EXPECT_EQ(lines.back().substr(12), "Site2047") << lines.back();
    int repeaters = 0;
    for (const auto& line : lines)
        if (line.substr(8, 3) != "  0") ++repeaters;
    EXPECT_EQ(repeaters, kMaxRepeaters);  // a quarter of 2047 would be 511
}

// The program refuses a repeater number above 255, so the simulator never writes one.
TEST(NetworkFile, EveryRepeaterNumberFitsTheProgramsByte) {
    for (const NetworkConfig& config : {NetworkConfig{2047, -1, 3}, NetworkConfig{2047, 2047, 5},
                                        NetworkConfig{300, 299, 7}, NetworkConfig{1200, -1, 9, 7}}) {
        const Network net(config);
        int highest = 0;
        for (const auto& line : CrLfLines(NetworkFileText(net, std::nullopt)))
            highest = std::max(highest, std::stoi(line.substr(8, 3)));
        EXPECT_EQ(highest, kMaxRepeaters) << config.radios << " radios, " << config.repeaters << " repeaters";
    }
}

TEST(NetworkFile, AddressLinesNameTheTcpEndpointElseTheUdpOne) {
    const Network net(NetworkConfig{1, 0, 1});
    Options o;
    o.pty = true;
    EXPECT_FALSE(ProgramAddress(o, 0, 0));
    EXPECT_EQ(CrLfLines(NetworkFileText(net, ProgramAddress(o, 0, 0))).size(), 1u);

    o.udp = Endpoint{"127.0.0.2", 0};
    auto a = ProgramAddress(o, 0, 40001);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "127.0.0.2");
    EXPECT_EQ(a->port, 40001);

    o.tcp = Endpoint{"0.0.0.0", 0};
    a = ProgramAddress(o, 47001, 40001);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "127.0.0.1");  // where a program on this machine reaches a wildcard listener
    EXPECT_EQ(a->port, 47001);
    const auto lines = CrLfLines(NetworkFileText(net, a));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "IP ADDRESS 127.0.0.1");
    EXPECT_EQ(lines[1], "PORT NUMBER 47001");
    EXPECT_EQ(lines[2].size(), 20u);
}

TEST(NetworkFile, WriteReplacesTheFileWholeAndAFailedWriteSaysWhy) {
    char dir[] = "/tmp/radiosim-netfile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/Simulated.RAD";
    std::string error;
    ASSERT_TRUE(WriteNetworkFile(path, "old contents, longer than the new\r\n", error)) << error;
    ASSERT_TRUE(WriteNetworkFile(path, "new\r\n", error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "new\r\n");
    struct stat st{};
    EXPECT_NE(stat((path + ".tmp").c_str(), &st), 0);  // no temporary left behind

    EXPECT_FALSE(WriteNetworkFile(std::string(dir) + "/missing/Simulated.RAD", "x\r\n", error));
    EXPECT_NE(error.find("cannot write the network file"), std::string::npos) << error;
    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace radiosim
