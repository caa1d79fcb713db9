#include <gtest/gtest.h>

#include "monitor/fleet_config.h"

namespace {

FleetConfig Parse(const std::string& text, std::string& error) {
    FleetConfig config;
    if (!ParseFleetConfig(text, "site.yml", "/srv", config, error)) {
        EXPECT_TRUE(config.networks.empty());
    }
    return config;
}

TEST(FleetConfig, ReadsEveryKeyInFileOrder) {
    std::string error;
    const FleetConfig c = Parse(R"(metrics: 127.0.0.1:9722
work: corvane
modbus: "[::1]:1502"
modbus_allow: [10.0.0.5, "::1"]
networks:
  - name: north
    serial: /dev/ttyUSB0
    network_file: north.RAD
    mode: random
    interval: 0.5
    alarm_time: 120
    reconnect: 0
  - name: south-2
    udp: 10.1.1.1:5000
    password: abcd
  - name: east_3
    dial: "5551234"
    serial: /dev/ttyS1
    network_file: /etc/corvane/east.RAD
  - name: west
    tcp:
    network_file: west.RAD
)",
                                error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(c.metricsAddress, "127.0.0.1:9722");
    EXPECT_EQ(c.workDir, "/srv/corvane");
    EXPECT_EQ(c.modbusAddress, "[::1]:1502");
    EXPECT_EQ(c.modbusAllowed, (std::vector<std::string>{"10.0.0.5", "::1"}));
    ASSERT_EQ(c.networks.size(), 4u);
    const MonitorOptions& north = c.networks[0];
    EXPECT_EQ(north.networkName, "north");
    EXPECT_EQ(north.link, MonitorLink::serial);
    EXPECT_EQ(north.device, "/dev/ttyUSB0");
    EXPECT_EQ(north.workDir, "/srv/corvane/north");
    EXPECT_EQ(north.networkFile, "/srv/corvane/north/north.RAD");
    EXPECT_TRUE(north.hasMode);
    EXPECT_FALSE(north.sequential);
    EXPECT_EQ(north.intervalSeconds, 0.5);
    EXPECT_EQ(north.alarmTimeSeconds, 120);
    EXPECT_EQ(north.reconnectSeconds, 0);
    const MonitorOptions& south = c.networks[1];
    EXPECT_EQ(south.link, MonitorLink::udp);
    EXPECT_EQ(south.host, "10.1.1.1");
    EXPECT_EQ(south.port, "5000");
    EXPECT_EQ(south.password, "abcd");
    EXPECT_FALSE(south.hasMode);  // as the window: the mode follows the network file
    EXPECT_EQ(south.reconnectSeconds, 10);
    EXPECT_EQ(c.networks[2].link, MonitorLink::dialup);
    EXPECT_EQ(c.networks[2].dialNumber, "5551234");
    EXPECT_EQ(c.networks[2].networkFile, "/etc/corvane/east.RAD");
    EXPECT_EQ(c.networks[3].link, MonitorLink::tcp);  // its address from the network file
    EXPECT_TRUE(c.networks[3].host.empty());
}

TEST(FleetConfig, BadFileNamesTheLine) {
    const std::string one = "networks:\n  - name: a\n    serial: /dev/ttyUSB0\n";
    struct Case {
        std::string text;
        const char* error;  // after "site.yml:"
    } cases[] = {
        {"networks:\n  - name: a\n    serial: /dev/x: y\n", "3: illegal map value"},  // yaml-cpp's own words
        {"", "1: no networks"},
        {"networks: []\n", "1: no networks"},
        {"metrics: 9722\n" + one, "1: metrics: expected ADDRESS:PORT"},
        {one + "nets: 1\n", "4: unknown key nets"},
        {one + "networks: []\n", "4: networks given twice"},
        {"modbus_allow: [10.0.0.5]\n" + one, "1: modbus_allow needs modbus"},
        {"modbus: 127.0.0.1:0\nmodbus_allow: [plc.local]\n" + one, "2: modbus_allow: expected IPv4 or IPv6"},
        {one + "    interval: fast\n", "4: interval: expected seconds, 0 to 3600, not \"fast\""},
        {one + "    mode: [random]\n", "4: mode: expected one value"},
        {one + "    colour: red\n", "4: unknown key colour"},
        {"networks:\n  - serial: /dev/ttyUSB0\n", "2: a network without a name"},
        {"networks:\n  - name: North\n    serial: /dev/ttyUSB0\n", "2: name: expected a name of a-z"},
        {one + "    tcp: 10.0.0.1:4000\n", "2: network a: give exactly one link"},
        {"networks:\n  - name: a\n    dial: 555\n", "2: network a: dial needs serial"},
        {one + "    password: abcd\n", "2: network a: password is for udp only"},
        {"networks:\n  - name: a\n    udp:\n", "2: network a: udp needs HOST:PORT or a network_file"},
        {one + "  - name: a\n    tcp: 10.0.0.1:4000\n", "4: network a listed twice"},
        {one + "  - name: b\n    serial: /dev/ttyUSB0\n", "4: network b: /dev/ttyUSB0 is network a's"},
        {"networks:\n  - just-a-name\n", "2: a network is a map"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        Parse(c.text, error);
        EXPECT_EQ(error.rfind(std::string("site.yml:") + c.error, 0), 0u) << error;
    }
}

}  // namespace
