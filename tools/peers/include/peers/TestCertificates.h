#pragma once
// A certificate authority made at test time, and server certificates it issues for
// the loopback host, so TLS peers can be tested without any file in the tree.

#include <string>

namespace peers {

struct TestCertificate {
    std::string certificatePem;
    std::string privateKeyPem;
};

class TestCertificateAuthority {
public:
    explicit TestCertificateAuthority(const std::string& commonName = "Zid Test Authority");
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    const std::string& certificatePem() const { return self_.certificatePem; }
    /// What a server certificate says; the defaults make a good one.
    struct ServerCertificateOptions {
        /// The subject alternative names, in OpenSSL's configuration form.
        std::string subjectAltNames = "IP:127.0.0.1,IP:::1,DNS:localhost";
        /// Validity, in seconds from now.
        long notBefore = -3600;
        long notAfter = 24 * 3600;
        /// The purposes the key may serve, in OpenSSL's configuration form; a
        /// certificate for clients only ("clientAuth") is one no client takes from a server.
        std::string extendedKeyUsage = "serverAuth";
    };

    /// A server certificate for 127.0.0.1, ::1 and localhost, valid from an hour ago
    /// for a day, signed by this authority.
    TestCertificate issueServerCertificate() const;
    /// A server certificate as the options say (another host, an expired one), signed
    /// by this authority.
    TestCertificate issueServerCertificate(const ServerCertificateOptions& options) const;

private:
    TestCertificate self_;
};

/// One authority for a whole test program, made on first use and kept to its end, so
/// suites that trust it do not each make a key pair.
const TestCertificateAuthority& sharedTestAuthority();
/// A server certificate for 127.0.0.1, ::1 and localhost from the shared authority,
/// made once.
const TestCertificate& sharedServerCertificate();

}  // namespace peers
