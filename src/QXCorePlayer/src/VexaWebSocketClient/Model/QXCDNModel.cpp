#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>

#include <algorithm>
#include <cctype>

#include <rt/Format.h>

namespace zid {

namespace {
template <class T> std::string describeList(const std::vector<rt::Ref<T>>& items) {
    std::string text = "(";
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += i ? ", " : "";
        text += items[i]->description();
    }
    return text + ")";
}
}  // namespace

// ---- sites ----------------------------------------------------------------------------

QXCDNSite::QXCDNSite(std::string protocol, std::string host, std::string path)
    : protocol_(std::move(protocol)), host_(std::move(host)), path_(std::move(path)) {}

rt::Ref<QXCDNSite> QXCDNSite::siteWithProtocol(std::string protocol, std::string host, std::string path) {
    return rt::make<QXCDNSite>(std::move(protocol), std::move(host), std::move(path));
}

std::string QXCDNSite::description() const {
    return rt::Object::description() + rt::format(" host='%@' path='%@'", host_, path_);
}

rt::Ref<ECDNBox> ECDNBox::siteWithProtocol(std::string protocol, std::string host, std::string path) {
    return rt::make<ECDNBox>(std::move(protocol), std::move(host), std::move(path));
}

std::string ECDNBox::probeURL() const {
    std::string joined = path().empty() || path().front() != '/' ? "/" + path() : path();
    if (joined.back() != '/') joined += '/';
    return protocol() + "://" + host() + joined + "ping";
}

// ---- locations ------------------------------------------------------------------------

QXCDNLocation::QXCDNLocation(std::string name, bool fallbackEnabled, std::vector<rt::Ref<QXCDNSite>> sites)
    : name_(std::move(name)), fallbackEnabled_(fallbackEnabled), sites_(std::move(sites)) {}

rt::Ref<QXCDNLocation> QXCDNLocation::locationWithName(std::string name, bool fallbackEnabled,
                                                       std::vector<rt::Ref<QXCDNSite>> sites) {
    return rt::make<QXCDNLocation>(std::move(name), fallbackEnabled, std::move(sites));
}

std::string QXCDNLocation::description() const {
    return rt::Object::description() +
           rt::format(" name='%@' fallback='%d' sites='%@'", name_, fallbackEnabled_ ? 1 : 0, describeList(sites_));
}

// ---- services -------------------------------------------------------------------------

QXCDNService::QXCDNService(std::string name, bool useBestSite, std::vector<rt::Ref<QXCDNLocation>> locations)
    : name_(std::move(name)), useBestSite_(useBestSite), locations_(std::move(locations)) {}

rt::Ref<QXCDNService> QXCDNService::serviceWithName(std::string name, bool useBestSite,
                                                    std::vector<rt::Ref<QXCDNLocation>> locations) {
    return rt::make<QXCDNService>(std::move(name), useBestSite, std::move(locations));
}

bool QXCDNService::isECDN() const {
    std::string upper = name_;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper == "ECDN";
}

std::string QXCDNService::description() const {
    return rt::Object::description() + rt::format(" name='%@' useBestSite='%d' locations='%@'", name_,
                                                  useBestSite_ ? 1 : 0, describeList(locations_));
}

}  // namespace zid
