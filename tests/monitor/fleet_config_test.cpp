#include <gtest/gtest.h>

#include <tuple>

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
    EXPECT_EQ(c.metricsAddress + " " + c.workDir + " " + c.modbusAddress, "127.0.0.1:9722 /srv/corvane [::1]:1502");
    EXPECT_EQ(c.modbusAllowed, (std::vector<std::string>{"10.0.0.5", "::1"}));
    // Name, link, device or host, network file; the work folder is work/<name>.
    const std::tuple<std::string, MonitorLink, std::string, std::string> wanted[] = {
        {"north", MonitorLink::serial, "/dev/ttyUSB0", "/srv/corvane/north/north.RAD"},
        {"south-2", MonitorLink::udp, "10.1.1.1", ""},
        {"east_3", MonitorLink::dialup, "/dev/ttyS1", "/etc/corvane/east.RAD"},
        {"west", MonitorLink::tcp, "", "/srv/corvane/west/west.RAD"},  // the address from the file
    };
    ASSERT_EQ(c.networks.size(), std::size(wanted));
    for (size_t k = 0; k < c.networks.size(); ++k) {
        const MonitorOptions& n = c.networks[k];
        EXPECT_EQ(
            std::tuple(n.networkName, n.link,
                       n.link == MonitorLink::udp || n.link == MonitorLink::tcp ? n.host : n.device, n.networkFile),
            wanted[k]);
        EXPECT_EQ(n.workDir, "/srv/corvane/" + n.networkName);
    }
    const MonitorOptions& north = c.networks[0];
    EXPECT_TRUE(north.hasMode && !north.sequential);
    EXPECT_EQ(std::tuple(north.intervalSeconds, north.alarmTimeSeconds, north.reconnectSeconds),
              std::tuple(0.5, 120.0, 0.0));
    const MonitorOptions& south = c.networks[1];
    EXPECT_EQ(south.port + " " + south.password, "5000 abcd");
    EXPECT_FALSE(south.hasMode);  // as the window: the mode follows the network file
    EXPECT_EQ(c.networks[2].dialNumber, "5551234");
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
