#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaClientAccessInfo.h>

#include <QXNetworking/Common/Session/URLComponents.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

std::optional<std::string> QXVexaClientContentAccessPoint::URLWithCDNSite(const rt::Ref<QXCDNSite>&) const {
    rt::raiseMustOverride("URLWithCDNSite:", *this);
}

QXVexaClientDirectContentAccessPoint::QXVexaClientDirectContentAccessPoint(std::string provider, std::string url)
    : provider_(std::move(provider)), url_(std::move(url)) {}

rt::Ref<QXVexaClientDirectContentAccessPoint> QXVexaClientDirectContentAccessPoint::accessPointWithProvider(
    std::string provider, std::string url) {
    return rt::make<QXVexaClientDirectContentAccessPoint>(std::move(provider), std::move(url));
}

std::optional<std::string> QXVexaClientDirectContentAccessPoint::URLWithCDNSite(const rt::Ref<QXCDNSite>&) const {
    if (!URLComponents::parse(url_)) return std::nullopt;
    return url_;
}

std::string QXVexaClientDirectContentAccessPoint::description() const {
    return rt::Object::description() + rt::format(" provider:%@ url:%@", provider_, url_);
}

QXVexaClientAppendContentAccessPoint::QXVexaClientAppendContentAccessPoint(std::string parameterName, std::string url)
    : parameterName_(std::move(parameterName)), url_(std::move(url)) {}

rt::Ref<QXVexaClientAppendContentAccessPoint> QXVexaClientAppendContentAccessPoint::accessPointWithParameterName(
    std::string parameterName, std::string url) {
    return rt::make<QXVexaClientAppendContentAccessPoint>(std::move(parameterName), std::move(url));
}

std::optional<std::string> QXVexaClientAppendContentAccessPoint::URLWithCDNSite(const rt::Ref<QXCDNSite>& site) const {
    if (!site) return std::nullopt;
    auto components = URLComponents::parse(url_);
    if (!components) return std::nullopt;
    std::string item = percentEncodedForQueryComponent(parameterName_) + "=" +
                       percentEncodedForQueryComponent(site->host() + site->path());
    components->query = components->query && !components->query->empty() ? *components->query + "&" + item : item;
    return components->string();
}

std::string QXVexaClientAppendContentAccessPoint::description() const {
    return rt::Object::description() + rt::format(" parameterName:%@ url:%@", parameterName_, url_);
}

QXVexaClientAccessInfo::QXVexaClientAccessInfo(std::string streamFormat,
                                               std::vector<rt::Ref<QXVexaClientContentAccessPoint>> accessPoints)
    : streamFormat_(std::move(streamFormat)), accessPoints_(std::move(accessPoints)) {}

rt::Ref<QXVexaClientAccessInfo> QXVexaClientAccessInfo::accessInfoWithStreamFormat(
    std::string streamFormat, std::vector<rt::Ref<QXVexaClientContentAccessPoint>> accessPoints) {
    return rt::make<QXVexaClientAccessInfo>(std::move(streamFormat), std::move(accessPoints));
}

std::string QXVexaClientAccessInfo::description() const {
    std::string points = "(";
    for (std::size_t i = 0; i < accessPoints_.size(); ++i) points += (i ? ", " : "") + accessPoints_[i]->description();
    return rt::Object::description() + rt::format(" format:%@ accessPoints:%@", streamFormat_, points + ")");
}

}  // namespace zid
