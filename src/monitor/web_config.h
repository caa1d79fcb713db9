#pragma once
#include <map>
#include <mutex>
#include <string>

// Who may read the exporter and how it is served, from --web.config.file (the
// format Prometheus exporters share). Supported: basic_auth_users (bcrypt) and
// tls_server_config with cert_file, key_file, min_version, max_version and
// client_auth_type NoClientCert. Anything else is refused by name.
struct WebConfig {
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
    bool tls = false;
    std::string certFile, keyFile;  // as resolved against the file's folder
    std::string certPem, keyPem;    // their contents, read when the file is loaded
    std::string tlsPriorities;      // the TLS versions allowed, as the TLS library spells them
};

// Reads the YAML text; relative paths are taken from `folder`. Returns false with
// one line naming the line and key in `error`; `config` is then left as it was.
bool ParseWebConfig(const std::string& text, const std::string& folder, WebConfig& config, std::string& error);
// The same for a file; the error starts with the file's name.
bool LoadWebConfig(const std::string& path, WebConfig& config, std::string& error);

// Checks Basic credentials against the configured users. A password that matched
// once is remembered per user, so a scrape every few seconds does not pay the
// bcrypt cost each time. Safe from several server threads.
class BasicAuthCheck {
public:
    explicit BasicAuthCheck(std::map<std::string, std::string> users) : users(std::move(users)) {}
    bool required() const { return !users.empty(); }
    bool allows(const std::string& user, const std::string& password);

private:
    const std::map<std::string, std::string> users;
    std::mutex lock;
    std::map<std::string, std::string> verified;  // user -> the password that matched last
};

// The whole of a small file (a config, a certificate); false with "cannot read PATH: reason".
bool ReadWholeFile(const std::string& path, std::string& out, std::string& error);
