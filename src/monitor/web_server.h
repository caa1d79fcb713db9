#pragma once
#include <functional>
#include <memory>
#include <string>

#include "monitor/web_config.h"

struct MHD_Daemon;

// What the exporter serves and where.
struct WebServerSetup {
    std::string address;  // "HOST:PORT", "[IPV6]:PORT" or ":PORT" (every address); port 0: any free port
    WebConfig config;
    // The exposition text; null until there is something to show.
    std::function<std::shared_ptr<const std::string>()> metrics;
    // The same text gzip-compressed, for a client that accepts it; may be empty.
    std::function<std::shared_ptr<const std::string>()> metricsGzip;
    // True once the first snapshot is published.
    std::function<bool()> ready;
};

// The monitor's HTTP(S) endpoint: /metrics, a landing page at /, /-/healthy and
// /-/ready, behind Basic authentication when the web config names users. Requests
// are answered on the server's own threads.
class WebServer {
public:
    WebServer();
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds and starts serving. On failure `error` reads "cannot serve metrics on
    // ADDRESS: reason" and nothing is left running.
    bool start(WebServerSetup setup, std::string& error);
    // The port bound (the free one chosen for port 0).
    int port() const { return boundPort; }
    // "http://HOST:PORT" or "https://HOST:PORT", IPv6 hosts in brackets.
    std::string url() const;

    struct State;

private:
    std::unique_ptr<State> state;
    MHD_Daemon* daemon = nullptr;
    int boundPort = 0;
    std::string host;
};
