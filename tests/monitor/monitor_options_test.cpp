#include <gtest/gtest.h>

#include "monitor/monitor_options.h"

namespace {

struct OptionCase {
    std::vector<std::string> args;
    const char* error;  // nullptr: accepted
};

TEST(MonitorOptions, RefusesWhatCannotRunWithOneClearReason) {
    const OptionCase cases[] = {
        {{}, "no link given"},
        {{"--serial", "/dev/ttyUSB0", "--tcp", "10.0.0.1:4000"}, "exactly one link"},
        {{"--dial", "5551234"}, "--dial needs --serial"},
        {{"--tcp", "10.0.0.1:70000"}, "--tcp 10.0.0.1:70000: expected HOST:PORT"},
        {{"--tcp"}, "needs HOST:PORT or a --network file"},
        {{"--com", "9"}, "from 1 to 8"},
        {{"--serial", "/dev/x", "--mode", "fast"}, "random or sequential"},
        {{"--serial", "/dev/x", "--interval", "-1"}, "0 to 3600"},
        {{"--serial", "/dev/x", "--metrics", "9100"}, "ADDRESS:PORT"},
        {{"--serial", "/dev/x", "--password", "abcd"}, "--udp only"},
        {{"--serial", "/dev/x", "--bogus"}, "unknown option --bogus"},
        {{"--serial"}, "--serial needs a value"},
        {{"--serial", "/dev/x", "--web.config.file", "web.yml"}, "--web.config.file needs --metrics"},
        {{"--serial", "/dev/x", "--name", "Site A"}, "--name Site A: expected a name"},
        {{"--config", "fleet.yml", "--serial", "/dev/x"}, "--serial cannot be used with --config"},
        {{"--metrics", "127.0.0.1:0", "--config", "fleet.yml"}, "--metrics cannot be used with --config"},
    };
    for (const auto& c : cases) {
        MonitorOptions o;
        std::string error;
        bool help = false;
        EXPECT_FALSE(ParseMonitorOptions(c.args, o, error, help)) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(MonitorOptions, ReadsEveryLinkAndSetting) {
    MonitorOptions o;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseMonitorOptions({"--udp", "192.168.1.20:5000", "--password", "pw12", "--mode=sequential",
                                     "--interval", "0", "--alarm-time", "30", "--metrics", "127.0.0.1:0",
                                     "--work", "/var/lib/corvane", "--reconnect", "0", "--duration", "5"},
                                    o, error, help))
        << error;
    EXPECT_EQ(o.link, MonitorLink::udp);
    EXPECT_EQ(o.host, "192.168.1.20");
    EXPECT_EQ(o.port, "5000");
    EXPECT_EQ(o.password, "pw12");
    EXPECT_TRUE(o.sequential);
    EXPECT_TRUE(o.hasInterval);
    EXPECT_EQ(o.intervalSeconds, 0);
    EXPECT_EQ(o.alarmTimeSeconds, 30);
    EXPECT_EQ(o.metricsAddress, "127.0.0.1:0");
    EXPECT_EQ(o.workDir, "/var/lib/corvane");
    EXPECT_EQ(o.reconnectSeconds, 0);
    EXPECT_EQ(o.durationSeconds, 5);

    // The address may come from the network file; the modem dials on the serial device.
    MonitorOptions fromFile;
    ASSERT_TRUE(ParseMonitorOptions({"--tcp", "--network", "SITE.RAD"}, fromFile, error, help)) << error;
    EXPECT_EQ(fromFile.link, MonitorLink::tcp);
    EXPECT_TRUE(fromFile.host.empty());
    MonitorOptions dial;
    ASSERT_TRUE(ParseMonitorOptions({"--dial", "5551234", "--serial", "/dev/ttyS0"}, dial, error, help)) << error;
    EXPECT_EQ(dial.link, MonitorLink::dialup);
    EXPECT_EQ(dial.device, "/dev/ttyS0");
    EXPECT_EQ(dial.reconnectSeconds, 10);
}

}  // namespace
