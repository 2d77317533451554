#include <net/Errors.h>

#include <net/WebSocket.h>

#include <cstring>

namespace net {

rt::Ref<rt::Error> posixError(int errnum, const std::string& operation) {
    char buffer[256];
    const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
    std::string description = operation.empty() ? std::string(text) : operation + ": " + text;
    return rt::Error::withDescription(kPOSIXErrorDomain, errnum, std::move(description));
}

rt::Ref<rt::Error> networkError(NetworkError code, std::string description, rt::Dictionary extra) {
    extra.set(rt::Error::LocalizedDescriptionKey, std::move(description));
    return rt::Error::make(kNetworkErrorDomain, static_cast<long long>(code), std::move(extra));
}

CertificateProblem certificateProblem(const rt::Ref<rt::Error>& error) {
    if (!error || error->domain() != kNetworkErrorDomain) return CertificateProblem::None;
    switch (error->code()) {
        case static_cast<long long>(NetworkError::ServerCertificateUntrusted):
        case static_cast<long long>(WebSocketError::ServerCertificateUntrusted):
            return CertificateProblem::UntrustedAuthority;
        case static_cast<long long>(NetworkError::ServerCertificateHostMismatch):
        case static_cast<long long>(WebSocketError::ServerCertificateHostMismatch):
            return CertificateProblem::HostMismatch;
        case static_cast<long long>(NetworkError::ServerCertificateExpired):
        case static_cast<long long>(WebSocketError::ServerCertificateExpired):
            return CertificateProblem::OutsideValidity;
        case static_cast<long long>(WebSocketError::ServerCertificateRejected):
            return CertificateProblem::Other;
        default:
            return CertificateProblem::None;
    }
}

}  // namespace net
