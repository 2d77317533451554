#include "HttpServers.h"

#include <openssl/pem.h>

#include <stdexcept>

namespace peers {

std::unique_ptr<httplib::SSLServer> makeTlsServer(const TestCertificate& certificate, const std::string& who) {
    BIO* certBio = BIO_new_mem_buf(certificate.certificatePem.data(), static_cast<int>(certificate.certificatePem.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO* keyBio = BIO_new_mem_buf(certificate.privateKeyPem.data(), static_cast<int>(certificate.privateKeyPem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    if (!cert || !key) {
        X509_free(cert);
        EVP_PKEY_free(key);
        throw std::runtime_error(who + ": unreadable certificate or key");
    }
    auto server = std::make_unique<httplib::SSLServer>(cert, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!server->is_valid()) throw std::runtime_error(who + ": TLS setup failed");
    return server;
}

std::unique_ptr<httplib::Server> makeHttpServer(const TestCertificate* certificate, const std::string& who) {
    if (certificate) return makeTlsServer(*certificate, who);
    return std::make_unique<httplib::Server>();
}

}  // namespace peers
