// corvane-monitor's web endpoint as a scraper and an operator meet it: Basic
// authentication, IPv6, TLS, and the refusals that stop it from starting.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "e2e/monitor_process.h"
#include "support/log_fixture.h"

namespace {

// Password "s3cret".
const std::string kUsers = "basic_auth_users:\n  admin: $2y$04$abcdefghijklmnopqrstuuLZYjhNQAOdpbzt4WxWlUHjv1wsyH5DG\n";

std::string Base64(const std::string& in) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(in[i])) << 16;
        if (i + 1 < in.size()) n |= uint32_t(uint8_t(in[i + 1])) << 8;
        if (i + 2 < in.size()) n |= uint8_t(in[i + 2]);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < in.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < in.size() ? digits[n & 63] : '=';
    }
    return out;
}

struct Reply {
    int status = 0;    // 0: no HTTP answer
    std::string text;  // head and body
};

// One GET over plain HTTP to a numeric address, with Basic credentials when given.
Reply Get(const std::string& host, int port, const std::string& path, const std::string& credentials = "") {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* to = nullptr;
    Reply reply;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &to) != 0) return reply;
    const int fd = socket(to->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (connect(fd, to->ai_addr, to->ai_addrlen) == 0) {
        std::string request = "GET " + path + " HTTP/1.0\r\nHost: corvane\r\n";
        if (!credentials.empty()) request += "Authorization: Basic " + Base64(credentials) + "\r\n";
        request += "\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char chunk[65536];
        for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) reply.text.append(chunk, size_t(n));
    }
    close(fd);
    freeaddrinfo(to);
    if (reply.text.rfind("HTTP/1.", 0) == 0 && reply.text.size() > 12) reply.status = std::atoi(reply.text.c_str() + 9);
    return reply;
}

bool CanListenOnIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 at{};
    at.sin6_family = AF_INET6;
    at.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
    if (fd >= 0) close(fd);
    return ok;
}

// The port of "metrics at http(s)://ADDRESS:PORT/metrics".
int ServedPort(MonitorProcess& monitor) {
    if (!monitor.waitForLine("metrics at", 10)) return 0;
    static const std::regex address(R"(metrics at https?://[^ ]*:(\d+)/metrics)");
    for (const auto& line : monitor.lines()) {
        std::smatch m;
        if (std::regex_search(line, m, address)) return std::stoi(m[1]);
    }
    return 0;
}

std::string All(MonitorProcess& monitor) {
    std::string out;
    for (const auto& l : monitor.lines()) out += l + "\n";
    return out;
}

class WebE2E : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kMonitorBuilt) GTEST_SKIP() << "corvane-monitor is not built";
    }
    TemporaryDirectory dir;
};

TEST_F(WebE2E, OnIpv6OnlyTheConfiguredUserReadsTheMetrics) {
    if (!CanListenOnIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
    WriteFileBytes("web.yml", kUsers);
    MonitorProcess monitor({"--serial", "/dev/corvane-no-such-port", "--metrics", "[::1]:0", "--web.config.file",
                            "web.yml", "--reconnect", "5"});
    const int port = ServedPort(monitor);
    ASSERT_NE(port, 0) << All(monitor);
    EXPECT_TRUE(monitor.waitForLine("metrics at http://[::1]:", 0)) << All(monitor);
    ASSERT_TRUE(Eventually([&] { return Get("::1", port, "/-/ready", "admin:s3cret").status == 200; }, 10));

    struct Case {
        const char* path;
        const char* credentials;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"/metrics", "", 401, "WWW-Authenticate: Basic"},
        {"/metrics", "admin:wrong", 401, "WWW-Authenticate: Basic"},
        {"/metrics", "nobody:s3cret", 401, "WWW-Authenticate: Basic"},
        {"/-/healthy", "", 401, "WWW-Authenticate: Basic"},
        {"/metrics", "admin:s3cret", 200, "Content-Type: text/plain; version=0.0.4; charset=utf-8"},
        {"/metrics", "admin:s3cret", 200, "\ncorvane_link_up{network=\"default\",link=\"serial\"} 0\n"},
        {"/", "admin:s3cret", 200, "<a href=\"metrics\">"},
        {"/-/healthy", "admin:s3cret", 200, "Healthy."},
        {"/elsewhere", "admin:s3cret", 404, "Not found"},
    };
    for (const Case& c : cases) {
        const Reply reply = Get("::1", port, c.path, c.credentials);
        EXPECT_EQ(reply.status, c.status) << c.path << " " << c.credentials << "\n" << reply.text;
        EXPECT_NE(reply.text.find(c.says), std::string::npos) << c.path << " " << c.credentials << "\n" << reply.text;
    }
    // Served on IPv6 only, as asked.
    EXPECT_EQ(Get("127.0.0.1", port, "/-/healthy", "admin:s3cret").status, 0);
}

TEST_F(WebE2E, WithTlsTheMetricsAreServedOverHttpsOnly) {
    if (std::system("command -v curl >/dev/null && command -v openssl >/dev/null") != 0)
        GTEST_SKIP() << "curl or openssl missing";
    ASSERT_EQ(std::system("openssl req -x509 -newkey rsa:2048 -nodes -keyout site.key -out site.crt -days 2 "
                          "-subj /CN=localhost >/dev/null 2>&1"),
              0);
    WriteFileBytes("web.yml", kUsers + "tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n");
    MonitorProcess monitor({"--serial", "/dev/corvane-no-such-port", "--metrics", "127.0.0.1:0", "--web.config.file",
                            dir.path() + "/web.yml", "--reconnect", "5"});
    const int port = ServedPort(monitor);
    ASSERT_NE(port, 0) << All(monitor);
    EXPECT_TRUE(monitor.waitForLine("metrics at https://127.0.0.1:", 0)) << All(monitor);
    auto curl = [&](const std::string& options) {
        const std::string command = "curl -sk " + options + " https://127.0.0.1:" + std::to_string(port) +
                                    "/-/healthy -w ' %{http_code}' 2>/dev/null";
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char chunk[256];
            for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
            pclose(pipe);
        }
        return out;
    };
    EXPECT_EQ(curl("-u admin:s3cret"), "Healthy.\n 200");
    EXPECT_EQ(curl(""), "Unauthorized\n 401");
    EXPECT_EQ(Get("127.0.0.1", port, "/-/healthy", "admin:s3cret").status, 0);
}

TEST_F(WebE2E, WhatCannotBeServedStopsTheStartWithOneLine) {
    WriteFileBytes("unknown.yml", kUsers + "listen_address: x\n");
    WriteFileBytes("broken.crt", "not a certificate");
    WriteFileBytes("broken.yml", "tls_server_config:\n  cert_file: broken.crt\n  key_file: broken.crt\n");
    // A port that is taken.
    int busy = -1;
    const std::string taken = TakenLoopbackAddress(busy);
    ASSERT_FALSE(taken.empty());

    struct Case {
        std::string metrics;
        std::string webConfig;
        std::string says;
    };
    const Case cases[] = {
        {"127.0.0.1:0", "unknown.yml", "--web.config.file unknown.yml line 3: unknown key listen_address"},
        {"127.0.0.1:0", "missing.yml", "--web.config.file cannot read missing.yml: No such file or directory"},
        {"127.0.0.1:0", "broken.yml", "cannot serve metrics on 127.0.0.1:0: "},
        {taken, "", "cannot serve metrics on " + taken + ": Address already in use"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--serial", "/dev/null", "--metrics", c.metrics};
        if (!c.webConfig.empty()) args.insert(args.end(), {"--web.config.file", c.webConfig});
        MonitorProcess run(args);
        EXPECT_EQ(run.waitExit(10), 2) << c.says;
        EXPECT_EQ(All(run).rfind("corvane-monitor: ", 0), 0u) << All(run);
        EXPECT_NE(All(run).find(c.says), std::string::npos) << All(run);
        EXPECT_EQ(run.lines().size(), 1u) << All(run);
    }
    close(busy);
}

}  // namespace
