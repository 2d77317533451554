#pragma once
// How a stream format is reached: the access info lists, in the server's order, the
// content access points under which the media server offered that format. A direct
// point is a URL of its own; an append point turns a CDN site into a URL by adding the
// site's host and path as one query parameter.

#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <rt/Object.h>

namespace zid {

class QXVexaClientContentAccessPoint : public rt::Object {
    RT_CLASS(QXVexaClientContentAccessPoint, rt::Object)
public:
    /// Whether the point needs a CDN site to give a URL.
    virtual bool needsCDN() const { return false; }
    /// The base raises the internal-inconsistency exception: only subclasses answer.
    virtual std::optional<std::string> URLWithCDNSite(const rt::Ref<QXCDNSite>& site) const;
};

class QXVexaClientDirectContentAccessPoint : public QXVexaClientContentAccessPoint {
    RT_CLASS(QXVexaClientDirectContentAccessPoint, QXVexaClientContentAccessPoint)
public:
    QXVexaClientDirectContentAccessPoint(std::string provider, std::string url);
    static rt::Ref<QXVexaClientDirectContentAccessPoint> accessPointWithProvider(std::string provider, std::string url);

    const std::string& provider() const { return provider_; }
    const std::string& url() const { return url_; }
    /// The point's own URL, whatever the site; nothing when it is not a URL.
    std::optional<std::string> URLWithCDNSite(const rt::Ref<QXCDNSite>& site) const override;
    std::string description() const override;

private:
    std::string provider_, url_;
};

class QXVexaClientAppendContentAccessPoint : public QXVexaClientContentAccessPoint {
    RT_CLASS(QXVexaClientAppendContentAccessPoint, QXVexaClientContentAccessPoint)
public:
    QXVexaClientAppendContentAccessPoint(std::string parameterName, std::string url);
    static rt::Ref<QXVexaClientAppendContentAccessPoint> accessPointWithParameterName(std::string parameterName,
                                                                                      std::string url);

    const std::string& parameterName() const { return parameterName_; }
    const std::string& url() const { return url_; }
    bool needsCDN() const override { return true; }
    /// The URL with the item parameterName=host+path appended after its own query
    /// items; nothing without a site or when the point's URL cannot be parsed.
    std::optional<std::string> URLWithCDNSite(const rt::Ref<QXCDNSite>& site) const override;
    std::string description() const override;

private:
    std::string parameterName_, url_;
};

class QXVexaClientAccessInfo : public rt::Object {
    RT_CLASS(QXVexaClientAccessInfo, rt::Object)
public:
    QXVexaClientAccessInfo(std::string streamFormat, std::vector<rt::Ref<QXVexaClientContentAccessPoint>> accessPoints);
    static rt::Ref<QXVexaClientAccessInfo> accessInfoWithStreamFormat(
        std::string streamFormat, std::vector<rt::Ref<QXVexaClientContentAccessPoint>> accessPoints);

    const std::string& streamFormat() const { return streamFormat_; }
    const std::vector<rt::Ref<QXVexaClientContentAccessPoint>>& accessPoints() const { return accessPoints_; }
    std::string description() const override;

private:
    std::string streamFormat_;
    std::vector<rt::Ref<QXVexaClientContentAccessPoint>> accessPoints_;
};

}  // namespace zid
