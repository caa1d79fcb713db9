#include "monitor/web_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

struct WebServer::State {
    WebServerSetup setup;
    BasicAuthCheck auth;
    std::mutex lock;
    std::string lastLibraryMessage;  // why the server library refused to start
    explicit State(WebServerSetup s) : setup(std::move(s)), auth(setup.config.users) {}
};

namespace {

constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

constexpr const char* kLandingPage = R"(<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>corvane-monitor</title></head>
<body>
<h1>corvane-monitor</h1>
<p>Polls a radio network through its master radio and exposes what it sees.</p>
<ul>
<li><a href="metrics">Metrics</a></li>
<li><a href="-/healthy">Health</a></li>
<li><a href="-/ready">Readiness</a></li>
</ul>
</body>
</html>
)";

// "HOST:PORT", "[HOST]:PORT" or ":PORT"; the brackets are taken off.
bool SplitAddress(const std::string& text, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 2 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    }
    return !port.empty();
}

// A listening socket on the first address of `host` that binds; an empty host
// (or "::") takes IPv4 and IPv6 both where the machine has IPv6.
int Listen(const std::string& host, const std::string& port, int& family, std::string& error) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const bool everywhere = host.empty() || host == "::";
    hints.ai_family = everywhere ? AF_INET6 : AF_UNSPEC;
    addrinfo* found = nullptr;
    int status = getaddrinfo(everywhere ? nullptr : host.c_str(), port.c_str(), &hints, &found);
    if (status != 0 && host.empty()) {  // no IPv6 on this machine
        hints.ai_family = AF_INET;
        status = getaddrinfo(nullptr, port.c_str(), &hints, &found);
    }
    if (status != 0) {
        error = gai_strerror(status);
        return -1;
    }
    int fd = -1;
    error.clear();
    for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at->ai_protocol);
        const int one = 1, zero = 0;
        bool ok = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
        if (ok && at->ai_family == AF_INET6 && everywhere)
            ok = setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero) == 0;
        ok = ok && bind(fd, at->ai_addr, at->ai_addrlen) == 0 && listen(fd, 64) == 0;
        if (!ok) {
            if (error.empty()) error = std::strerror(errno);
            if (fd >= 0) close(fd);
            fd = -1;
            continue;
        }
        family = at->ai_family;
    }
    freeaddrinfo(found);
    return fd;
}

void KeepLibraryMessage(void* context, const char* format, va_list args) {
    auto* state = static_cast<WebServer::State*>(context);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '.')) line.pop_back();
    std::lock_guard<std::mutex> hold(state->lock);
    if (state->lastLibraryMessage.empty()) state->lastLibraryMessage = line;
}

MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

constexpr const char* kPlain = "text/plain; charset=utf-8";

// The exposition goes out from the published text itself; the response holds a
// reference until the last byte is sent.
MHD_Result SendMetrics(MHD_Connection* connection, std::shared_ptr<const std::string> text, bool gzipped) {
    auto* held = new std::shared_ptr<const std::string>(std::move(text));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        (*held)->size(), const_cast<char*>((*held)->data()),
        [](void* cls) { delete static_cast<std::shared_ptr<const std::string>*>(cls); }, held);
    if (response == nullptr) {
        delete held;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kMetricsType);
    MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    if (gzipped) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

bool AcceptsGzip(MHD_Connection* connection) {
    const char* accepted = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    return accepted != nullptr && std::strstr(accepted, "gzip") != nullptr;
}

bool Authorized(WebServer::State& state, MHD_Connection* connection) {
    if (!state.auth.required()) return true;
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool ok = user != nullptr && password != nullptr && state.auth.allows(user, password);
    if (password != nullptr) {
        std::memset(password, 0, std::strlen(password));
        MHD_free(password);
    }
    if (user != nullptr) MHD_free(user);
    return ok;
}

MHD_Result Answer(void* context, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t* uploadSize, void** request) {
    auto& state = *static_cast<WebServer::State*>(context);
    // The first call only announces the request; answering then would close the connection.
    static int headersSeen;
    if (*request == nullptr) {
        *request = &headersSeen;
        return MHD_YES;
    }
    // A body is passed over unread (nothing here takes one); the answer follows its end.
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    if (!Authorized(state, connection)) {
        const std::string body = "Unauthorized\n";
        MHD_Response* response =
            MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
        if (response == nullptr) return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kPlain);
        const MHD_Result result = MHD_queue_basic_auth_fail_response(connection, "corvane-monitor", response);
        MHD_destroy_response(response);
        return result;
    }
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
        return Send(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are served.\n", kPlain);
    const std::string path = url;
    if (path == "/metrics") {
        std::shared_ptr<const std::string> text = state.setup.metrics ? state.setup.metrics() : nullptr;
        if (!text) return Send(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "No snapshot of the network yet.\n", kPlain);
        // Scrapers ask for gzip: a tenth of the bytes, compressed once per change.
        if (state.setup.metricsGzip && AcceptsGzip(connection)) {
            if (auto packed = state.setup.metricsGzip(); packed && !packed->empty())
                return SendMetrics(connection, std::move(packed), true);
        }
        return SendMetrics(connection, std::move(text), false);
    }
    if (path == "/") return Send(connection, MHD_HTTP_OK, kLandingPage, "text/html; charset=utf-8");
    if (path == "/-/healthy") return Send(connection, MHD_HTTP_OK, "Healthy.\n", kPlain);
    if (path == "/-/ready") {
        if (state.setup.ready && state.setup.ready()) return Send(connection, MHD_HTTP_OK, "Ready.\n", kPlain);
        return Send(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "Not ready: no snapshot of the network yet.\n", kPlain);
    }
    return Send(connection, MHD_HTTP_NOT_FOUND, "Not found. See /metrics.\n", kPlain);
}

}  // namespace

WebServer::WebServer() = default;

WebServer::~WebServer() {
    if (daemon != nullptr) MHD_stop_daemon(daemon);
}

bool WebServer::start(WebServerSetup setup, std::string& error) {
    const std::string address = setup.address;
    auto fail = [&](const std::string& reason) {
        error = "cannot serve metrics on " + address + ": " + reason;
        return false;
    };
    std::string port;
    if (!SplitAddress(address, host, port)) return fail("expected ADDRESS:PORT");
    auto made = std::make_unique<State>(std::move(setup));
    int family = AF_UNSPEC;
    std::string reason;
    const int fd = Listen(host, port, family, reason);
    if (fd < 0) return fail(reason);

    const WebConfig& config = made->setup.config;
    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
    if (family == AF_INET6) flags |= MHD_USE_IPv6;
    if (config.tls) flags |= MHD_USE_TLS;
    // Two threads: a slow password check or a slow client does not hold up the others.
    MHD_OptionItem options[] = {
        {MHD_OPTION_LISTEN_SOCKET, fd, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, 2, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, 30, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, 64, nullptr},
        {config.tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0, const_cast<char*>(config.certPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(config.keyPem.c_str())},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(config.tlsPriorities.c_str())},
        {MHD_OPTION_END, 0, nullptr},
    };
    // The library's messages are kept for the refusal below instead of going to stderr.
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Answer, made.get(), MHD_OPTION_EXTERNAL_LOGGER,
                              &KeepLibraryMessage, made.get(), MHD_OPTION_ARRAY, options, MHD_OPTION_END);
    if (daemon == nullptr) {
        close(fd);
        std::lock_guard<std::mutex> hold(made->lock);
        return fail(made->lastLibraryMessage.empty() ? "the web server did not start" : made->lastLibraryMessage);
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                      : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (host.empty()) host = family == AF_INET6 ? "::" : "0.0.0.0";
    state = std::move(made);
    return true;
}

std::string WebServer::url() const {
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return std::string(state && state->setup.config.tls ? "https" : "http") + "://" + shown + ":" +
           std::to_string(boundPort);
}
