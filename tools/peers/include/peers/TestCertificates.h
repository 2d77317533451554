#pragma once
// A certificate authority made at test time, and server certificates it issues for
// the loopback host, so TLS peers can be tested without any file in the tree.

#include <string>
#include <vector>

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
    /// A server certificate for 127.0.0.1, ::1 and localhost, valid from an hour ago
    /// for a day, signed by this authority.
    TestCertificate issueServerCertificate() const;
    /// The same, also valid for the DNS names given (wildcards such as "*.media.test"
    /// included).
    TestCertificate issueServerCertificate(const std::vector<std::string>& extraDnsNames) const;

private:
    TestCertificate self_;
};

}  // namespace peers
