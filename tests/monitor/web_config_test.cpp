#include <gtest/gtest.h>

#include "monitor/web_config.h"
#include "support/log_fixture.h"

namespace {

// Password "s3cret" and "other pass", hashed as htpasswd -B and the bcrypt tools write them.
const std::string kAdminHash = "$2y$04$abcdefghijklmnopqrstuuLZYjhNQAOdpbzt4WxWlUHjv1wsyH5DG";
const std::string kScraperHash = "$2b$05$ABCDEFGHIJKLMNOPQRSTUuKy37.npFJihZf5nM3qICL6.kx4KScUu";

struct ConfigCase {
    std::string yaml;
    const char* error;  // nullptr: accepted
};

TEST(WebConfig, AcceptsWhatItServesAndRefusesTheRestByName) {
    TemporaryDirectory dir;
    WriteFileBytes("site.crt", "certificate");
    WriteFileBytes("site.key", "key");
    const ConfigCase cases[] = {
        {"", nullptr},
        {"basic_auth_users:\n  admin: " + kAdminHash + "\n", nullptr},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  client_auth_type: NoClientCert\n",
         nullptr},
        {"metrics: 1\n", "line 1: unknown key metrics"},
        {"basic_auth_users: {}\nhttp_server_config:\n  http2: false\n", "line 2: http_server_config is not supported"},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  client_ca_file: ca.crt\n",
         "line 4: tls_server_config.client_ca_file is not supported"},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  ciphers: x\n",
         "line 4: unknown key tls_server_config.ciphers"},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  client_auth_type: RequireAnyClientCert\n",
         "RequireAnyClientCert is not supported"},
        {"tls_server_config:\n  cert_file: site.crt\n", "tls_server_config needs cert_file and key_file"},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  min_version: TLS14\n",
         "line 4: tls_server_config.min_version TLS14: expected"},
        {"tls_server_config:\n  cert_file: site.crt\n  key_file: site.key\n  min_version: TLS13\n  max_version: TLS12\n",
         "min_version is above max_version"},
        {"tls_server_config:\n  cert_file: missing.crt\n  key_file: site.key\n", "cannot read ./missing.crt"},
        {"basic_auth_users:\n  admin: plaintext\n", "line 2: basic_auth_users.admin is not a bcrypt hash"},
        {"basic_auth_users:\n  \"a:b\": " + kAdminHash + "\n", "holds ':'"},
        {"basic_auth_users: [admin]\n", "line 1: basic_auth_users must map user names"},
        {"- a list\n", "line 1: expected a map of settings"},
        {"basic_auth_users:\n  admin: [\n", "line 3:"},
    };
    for (const ConfigCase& c : cases) {
        WebConfig config;
        config.tlsPriorities = "untouched";
        std::string error;
        const bool ok = ParseWebConfig(c.yaml, ".", config, error);
        EXPECT_EQ(ok, c.error == nullptr) << c.yaml << error;
        if (c.error != nullptr) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.yaml << "\ngave: " << error;
            EXPECT_EQ(config.tlsPriorities, "untouched") << c.yaml;
        }
    }
}

TEST(WebConfig, ReadsTlsFilesBesideTheConfigAndTheVersionsAsked) {
    TemporaryDirectory dir;
    WriteFileBytes("site.crt", "CERT");
    WriteFileBytes("site.key", "KEY");
    WriteFileBytes("web.yml", "tls_server_config:\n  cert_file: site.crt\n  key_file: " + dir.path() +
                                  "/site.key\n  min_version: TLS13\nbasic_auth_users:\n  admin: " + kAdminHash + "\n");
    WebConfig config;
    std::string error;
    ASSERT_TRUE(LoadWebConfig(dir.path() + "/web.yml", config, error)) << error;
    EXPECT_TRUE(config.tls);
    EXPECT_EQ(config.certFile, dir.path() + "/site.crt");
    EXPECT_EQ(config.certPem, "CERT");
    EXPECT_EQ(config.keyPem, "KEY");
    EXPECT_EQ(config.tlsPriorities, "NORMAL:-VERS-ALL:+VERS-TLS1.3");
    EXPECT_EQ(config.users.at("admin"), kAdminHash);

    // The file's name leads a refusal.
    WriteFileBytes("bad.yml", "\n\nlisten: x\n");
    EXPECT_FALSE(LoadWebConfig("bad.yml", config, error));
    EXPECT_EQ(error, "bad.yml line 3: unknown key listen");
}

TEST(WebConfig, BasicAuthLetsInOnlyTheRightPasswordForTheUser) {
    BasicAuthCheck check({{"admin", kAdminHash}, {"scraper", kScraperHash}});
    struct Try {
        const char* user;
        const char* password;
        bool allowed;
    };
    const Try tries[] = {
        {"admin", "s3cret", true},    {"scraper", "other pass", true}, {"admin", "other pass", false},
        {"admin", "s3cret ", false},  {"admin", "", false},            {"nobody", "s3cret", false},
        {"Admin", "s3cret", false},   {"admin", "s3cret", true},  // the remembered match
        {"admin", "s3creT", false},  // a remembered match lets in nothing else
    };
    for (const Try& t : tries) EXPECT_EQ(check.allows(t.user, t.password), t.allowed) << t.user << " " << t.password;
    EXPECT_TRUE(check.required());
    EXPECT_FALSE(BasicAuthCheck({}).required());
}

}  // namespace
