#pragma once
// A certificate authority made afresh for a test, with the OpenSSL API: an EC P-256
// key and a self-signed CA certificate, and server certificates it issues for given
// host names and addresses. Tests point the client's trust store at it through
// SSL_CERT_FILE (WriteCertificate), and hand the issued certificate and key to a
// loopback server. Nothing touches the system's store.

#include <memory>
#include <string>
#include <vector>

class TestCa {
  public:
    // A server certificate and its key, both PEM.
    struct Issued {
        std::string certificate;
        std::string key;
    };

    explicit TestCa(const std::string& common_name = "Tolvane Test CA");
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    // A certificate for the names (subjectAltName DNS entries) and dotted addresses
    // (IP entries), valid from an hour ago for a day.
    Issued Issue(const std::vector<std::string>& names,
                 const std::vector<std::string>& addresses) const;
    // The CA certificate, PEM.
    std::string CertificatePem() const;
    // Writes the CA certificate to `path`; false on failure.
    bool WriteCertificate(const std::string& path) const;

  private:
    struct Keys;
    std::unique_ptr<Keys> keys_;
};
