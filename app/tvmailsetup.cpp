#include "app/tvmailsetup.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace {

#ifdef TOLVANE_TEST_OVERRIDES
std::optional<std::string> TestValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<int> TestNumber(const char* name) {
    const std::optional<std::string> text = TestValue(name);
    if (!text) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long number = std::strtol(text->c_str(), &end, 10);
    if (*end != '\0' || number <= 0 || number > 3600000) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}
#else
std::optional<std::string> TestValue(const char*) {
    return std::nullopt;
}
std::optional<int> TestNumber(const char*) {
    return std::nullopt;
}
#endif

}  // namespace

CDNS::Config ResolverConfig() {
    CDNS::Config config;
    if (const std::optional<std::string> file = TestValue("TOLVANE_TEST_RESOLV_CONF")) {
        config.resolver_file = *file;
    }
    if (const std::optional<int> port = TestNumber("TOLVANE_TEST_DNS_PORT")) {
        config.port = *port;
    }
    if (const std::optional<int> timeout = TestNumber("TOLVANE_TEST_DNS_TIMEOUT_MS")) {
        config.timeout = std::chrono::milliseconds(*timeout);
    }
    return config;
}

SmtpTimeouts MailTimeouts() {
    SmtpTimeouts timeouts;
    if (const std::optional<int> timeout = TestNumber("TOLVANE_TEST_SMTP_TIMEOUT_MS")) {
        timeouts.reply = std::chrono::milliseconds(*timeout);
        timeouts.connect = std::chrono::milliseconds(*timeout);
        timeouts.tls = std::chrono::milliseconds(*timeout);
    }
    return timeouts;
}

std::unique_ptr<CDNS> MakeResolver() {
    return std::make_unique<CDNS>(ResolverConfig());
}
