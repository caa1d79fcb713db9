#include "monitor/web_config.h"

#include <crypt.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include <yaml-cpp/yaml.h>

namespace {

struct Refusal {
    std::string text;
};

std::string LineOf(const YAML::Node& node) { return "line " + std::to_string(node.Mark().line + 1) + ": "; }

[[noreturn]] void Refuse(const YAML::Node& at, const std::string& text) { throw Refusal{LineOf(at) + text}; }

std::string Scalar(const YAML::Node& value, const std::string& key) {
    if (!value.IsScalar()) Refuse(value, key + " must be a single value");
    return value.Scalar();
}

// TLS versions as the configuration names them, oldest first.
constexpr const char* kVersions[] = {"TLS10", "TLS11", "TLS12", "TLS13"};
constexpr const char* kTlsLibraryVersions[] = {"VERS-TLS1.0", "VERS-TLS1.1", "VERS-TLS1.2", "VERS-TLS1.3"};

int VersionIndex(const YAML::Node& value, const std::string& key) {
    const std::string name = Scalar(value, key);
    for (int i = 0; i < 4; ++i)
        if (name == kVersions[i]) return i;
    Refuse(value, key + " " + name + ": expected TLS10, TLS11, TLS12 or TLS13");
}

void ReadTls(const YAML::Node& tls, const std::string& folder, WebConfig& out) {
    if (!tls.IsMap()) Refuse(tls, "tls_server_config must be a map of settings");
    int low = 2, high = 3;  // TLS 1.2 and 1.3 unless told
    for (const auto& entry : tls) {
        const std::string key = entry.first.as<std::string>();
        const std::string full = "tls_server_config." + key;
        const YAML::Node& value = entry.second;
        auto path = [&] {
            const std::string file = Scalar(value, full);
            if (file.empty()) Refuse(value, full + " is empty");
            return file.front() == '/' || folder.empty() ? file : folder + "/" + file;
        };
        if (key == "cert_file") {
            out.certFile = path();
        } else if (key == "key_file") {
            out.keyFile = path();
        } else if (key == "min_version") {
            low = VersionIndex(value, full);
        } else if (key == "max_version") {
            high = VersionIndex(value, full);
        } else if (key == "client_auth_type") {
            // Asking nothing of the client is what serving without client certificates means.
            if (Scalar(value, full) != "NoClientCert")
                Refuse(value, full + " " + value.Scalar() + " is not supported (only NoClientCert)");
        } else if (key == "client_ca_file" || key == "cipher_suites" || key == "curve_preferences" ||
                   key == "prefer_server_cipher_suites" || key == "client_allowed_sans" || key == "cert" ||
                   key == "key") {
            Refuse(entry.first, full + " is not supported (supported: cert_file, key_file, min_version, "
                                       "max_version, client_auth_type NoClientCert)");
        } else {
            Refuse(entry.first, "unknown key " + full);
        }
    }
    if (out.certFile.empty() || out.keyFile.empty()) Refuse(tls, "tls_server_config needs cert_file and key_file");
    if (low > high) Refuse(tls, "tls_server_config.min_version is above max_version");
    out.tlsPriorities = "NORMAL:-VERS-ALL";
    for (int i = high; i >= low; --i) out.tlsPriorities += std::string(":+") + kTlsLibraryVersions[i];
    out.tls = true;
}

void ReadUsers(const YAML::Node& users, WebConfig& out) {
    if (users.IsNull()) return;
    if (!users.IsMap()) Refuse(users, "basic_auth_users must map user names to bcrypt hashes");
    static const std::regex bcrypt(R"(\$2[aby]\$[0-3][0-9]\$[./A-Za-z0-9]{53})");
    for (const auto& entry : users) {
        const std::string user = Scalar(entry.first, "a user name");
        if (user.empty() || user.find(':') != std::string::npos)
            Refuse(entry.first, "basic_auth_users: the user name \"" + user + "\" is empty or holds ':'");
        const std::string hash = Scalar(entry.second, "basic_auth_users." + user);
        if (!std::regex_match(hash, bcrypt))
            Refuse(entry.second, "basic_auth_users." + user + " is not a bcrypt hash ($2y$, $2b$ or $2a$)");
        out.users[user] = hash;
    }
}

// Constant time, so a wrong guess does not tell how much of it was right.
bool SameBytes(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool BcryptMatches(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    return result != nullptr && SameBytes(result, hash);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

bool ParseWebConfig(const std::string& text, const std::string& folder, WebConfig& config, std::string& error) {
    WebConfig out;
    try {
        const YAML::Node root = YAML::Load(text);
        if (!root.IsNull() && !root.IsMap()) Refuse(root, "expected a map of settings");
        if (root.IsMap()) {
            for (const auto& entry : root) {
                const std::string key = entry.first.as<std::string>();
                if (key == "tls_server_config")
                    ReadTls(entry.second, folder, out);
                else if (key == "basic_auth_users")
                    ReadUsers(entry.second, out);
                else if (key == "http_server_config")
                    Refuse(entry.first, "http_server_config is not supported (supported: tls_server_config, "
                                        "basic_auth_users)");
                else
                    Refuse(entry.first, "unknown key " + key);
            }
        }
    } catch (const Refusal& refusal) {
        error = refusal.text;
        return false;
    } catch (const YAML::Exception& e) {
        error = "line " + std::to_string(e.mark.line + 1) + ": " + e.msg;
        return false;
    }
    if (out.tls && (!ReadWholeFile(out.certFile, out.certPem, error) || !ReadWholeFile(out.keyFile, out.keyPem, error)))
        return false;
    config = std::move(out);
    return true;
}

bool LoadWebConfig(const std::string& path, WebConfig& config, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text, error)) return false;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (ParseWebConfig(text, folder, config, error)) return true;
    if (error.rfind("line ", 0) == 0) error = path + " " + error;
    return false;
}

bool BasicAuthCheck::allows(const std::string& user, const std::string& password) {
    const auto found = users.find(user);
    if (found == users.end()) {
        // As slow as a known user's check, so the answer does not tell which names exist.
        if (!users.empty()) BcryptMatches(password, users.begin()->second);
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        const auto known = verified.find(user);
        if (known != verified.end() && SameBytes(known->second, password)) return true;
    }
    if (!BcryptMatches(password, found->second)) return false;
    std::lock_guard<std::mutex> hold(lock);
    verified[user] = password;
    return true;
}
