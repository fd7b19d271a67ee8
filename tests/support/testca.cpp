#include "tests/support/testca.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <stdexcept>

namespace {

EVP_PKEY* NewKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr) {
        throw std::runtime_error("test CA: no key");
    }
    return key;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        throw std::runtime_error("test CA: bad extension " + value);
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

X509* NewCertificate(const std::string& common_name, EVP_PKEY* key, long serial) {
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                               0);
    return certificate;
}

std::string Pem(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
}

std::string Pem(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
}

}  // namespace

struct TestCa::Keys {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    mutable long next_serial = 2;
    ~Keys() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

TestCa::TestCa(const std::string& common_name) : keys_(std::make_unique<Keys>()) {
    keys_->key = NewKey();
    keys_->certificate = NewCertificate(common_name, keys_->key, 1);
    X509_set_issuer_name(keys_->certificate, X509_get_subject_name(keys_->certificate));
    AddExtension(keys_->certificate, keys_->certificate, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(keys_->certificate, keys_->certificate, NID_key_usage,
                 "critical,keyCertSign,cRLSign");
    AddExtension(keys_->certificate, keys_->certificate, NID_subject_key_identifier, "hash");
    X509_sign(keys_->certificate, keys_->key, EVP_sha256());
}

TestCa::~TestCa() = default;

TestCa::Issued TestCa::Issue(const std::vector<std::string>& names,
                             const std::vector<std::string>& addresses) const {
    EVP_PKEY* key = NewKey();
    const std::string common_name = names.empty() ? addresses.front() : names.front();
    X509* certificate = NewCertificate(common_name, key, keys_->next_serial++);
    X509_set_issuer_name(certificate, X509_get_subject_name(keys_->certificate));
    std::string alternatives;
    for (const std::string& name : names) {
        alternatives += (alternatives.empty() ? "" : ",") + std::string("DNS:") + name;
    }
    for (const std::string& address : addresses) {
        alternatives += (alternatives.empty() ? "" : ",") + std::string("IP:") + address;
    }
    AddExtension(certificate, keys_->certificate, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(certificate, keys_->certificate, NID_ext_key_usage, "serverAuth");
    AddExtension(certificate, keys_->certificate, NID_authority_key_identifier, "keyid:always");
    if (!alternatives.empty()) {
        AddExtension(certificate, keys_->certificate, NID_subject_alt_name, alternatives);
    }
    X509_sign(certificate, keys_->key, EVP_sha256());
    Issued issued{Pem(certificate), Pem(key)};
    X509_free(certificate);
    EVP_PKEY_free(key);
    return issued;
}

std::string TestCa::CertificatePem() const {
    return Pem(keys_->certificate);
}

bool TestCa::WriteCertificate(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << CertificatePem();
    return static_cast<bool>(file);
}
