#include "peers/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace peers {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what + " failed");
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    check(key != nullptr, "key generation");
    return key;
}

std::string toPem(X509* cert) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    return pem;
}

std::string toPem(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    return pem;
}

Cert certFromPem(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    Cert cert(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr), &X509_free);
    BIO_free(bio);
    check(cert != nullptr, "reading a certificate");
    return cert;
}

Key keyFromPem(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    Key key(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr), &EVP_PKEY_free);
    BIO_free(bio);
    check(key != nullptr, "reading a key");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "making an extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

Cert newCertificate(EVP_PKEY* key, const std::string& commonName, long notBefore = -3600, long notAfter = 24 * 3600) {
    Cert cert(X509_new(), &X509_free);
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBefore);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfter);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    return cert;
}

}  // namespace

TestCertificateAuthority::TestCertificateAuthority(const std::string& commonName) {
    Key key = newKey();
    Cert cert = newCertificate(key.get(), commonName);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
    addExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash");
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signing the authority");
    self_.certificatePem = toPem(cert.get());
    self_.privateKeyPem = toPem(key.get());
}

TestCertificateAuthority::~TestCertificateAuthority() = default;

TestCertificate TestCertificateAuthority::issueServerCertificate() const { return issueServerCertificate({}); }

TestCertificate TestCertificateAuthority::issueServerCertificate(const ServerCertificateOptions& options) const {
    Cert issuer = certFromPem(self_.certificatePem);
    Key issuerKey = keyFromPem(self_.privateKeyPem);
    Key key = newKey();
    Cert cert = newCertificate(key.get(), "127.0.0.1", options.notBefore, options.notAfter);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer.get()));
    addExtension(cert.get(), issuer.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), issuer.get(), NID_key_usage, "critical,digitalSignature");
    addExtension(cert.get(), issuer.get(), NID_ext_key_usage, options.extendedKeyUsage.c_str());
    addExtension(cert.get(), issuer.get(), NID_subject_alt_name, options.subjectAltNames.c_str());
    addExtension(cert.get(), issuer.get(), NID_authority_key_identifier, "keyid");
    check(X509_sign(cert.get(), issuerKey.get(), EVP_sha256()) > 0, "signing a server certificate");
    return TestCertificate{toPem(cert.get()), toPem(key.get())};
}

const TestCertificateAuthority& sharedTestAuthority() {
    static const auto* authority = new TestCertificateAuthority();
    return *authority;
}

const TestCertificate& sharedServerCertificate() {
    static const auto* certificate = new TestCertificate(sharedTestAuthority().issueServerCertificate());
    return *certificate;
}

}  // namespace peers
