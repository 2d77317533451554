#include <QXFoundation/Extensions/ErrorExtensions.h>

#include <fnd/URLRequest.h>
#include <net/Errors.h>
#include <rt/Exception.h>

namespace zid {

rt::Ref<rt::Error> errorWithDomain(std::string domain, long long code, const std::vector<rt::Ref<rt::Error>>& errors) {
    if (errors.empty())
        throw rt::Exception(rt::Exception::InvalidArgument, "A multi-error needs at least one underlying error");
    rt::Value::Array array;
    std::string description;
    for (const auto& error : errors) {
        if (!error) throw rt::Exception(rt::Exception::InvalidArgument, "A multi-error cannot hold a nil error");
        if (!array.empty()) description += "\n";
        description += error->localizedDescription();
        array.emplace_back(error);
    }
    rt::Dictionary info;
    info.set(QXUnderlyingErrorsKey, rt::Value(std::move(array)));
    info.set(rt::Error::LocalizedDescriptionKey, rt::Value(std::move(description)));
    return rt::Error::make(std::move(domain), code, std::move(info));
}

rt::Value underlyingErrors(const rt::Error& error) { return error.userInfo().get(QXUnderlyingErrorsKey); }

// The network layer reports its own domain and codes; its timeouts and failed
// connections answer these tests as their URL-loading counterparts do.
namespace {
bool isNetworkError(const rt::Error& error) { return error.domain() == net::kNetworkErrorDomain; }
bool hasNetworkCode(const rt::Error& error, net::NetworkError code) {
    return isNetworkError(error) && error.code() == static_cast<long long>(code);
}
}  // namespace

bool isURLError(const rt::Error& error) { return error.domain() == fnd::URLErrorDomain || isNetworkError(error); }

bool isURLTimeoutError(const rt::Error& error) {
    return (error.domain() == fnd::URLErrorDomain && error.code() == fnd::URLErrorTimedOut) ||
           hasNetworkCode(error, net::NetworkError::TimedOut);
}

bool isURLConnectionError(const rt::Error& error) {
    return (error.domain() == fnd::URLErrorDomain &&
            (error.code() == fnd::URLErrorNetworkConnectionLost || error.code() == fnd::URLErrorNotConnectedToInternet)) ||
           hasNetworkCode(error, net::NetworkError::CannotConnect) ||
           hasNetworkCode(error, net::NetworkError::CannotFindHost);
}

}  // namespace zid
