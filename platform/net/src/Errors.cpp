#include <net/Errors.h>

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

}  // namespace net
