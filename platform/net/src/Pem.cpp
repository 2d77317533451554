#include <net/Pem.h>

#include <climits>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace net {

std::size_t pemCertificateCount(std::string_view pem) {
    if (pem.empty() || pem.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) return 0;
    std::size_t count = 0;
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        X509_free(cert);
        ++count;
    }
    BIO_free(bio);
    // The end of the text reads as an error on the thread's queue: not one to report.
    ERR_clear_error();
    return count;
}

}  // namespace net
