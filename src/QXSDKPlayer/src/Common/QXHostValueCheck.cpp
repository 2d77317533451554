#include "Common/QXHostValueCheck.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>

#include "Common/QXQuorvexPlayerImpl.h"
#include "Common/ShownText.h"

#include <net/Pem.h>
#include <rt/Format.h>

namespace zid {

namespace {
/// The longest header value (origin, user agent) and API key taken: far above any real
/// one, and well inside what a server accepts in one request line.
constexpr std::size_t kMaxHeaderValueLength = 8 * 1024;
/// What DNS allows a name and each of its labels.
constexpr std::size_t kMaxHostNameLength = 253;
constexpr std::size_t kMaxHostLabelLength = 63;

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

/// An IPv4 or IPv6 address written out ("127.0.0.1", "::1", "[::1]"), or a name whose
/// last label is all digits, which DNS never hands out and resolvers read as an address.
bool isAddressLiteral(const std::string& host) {
    if (!host.empty() && host.front() == '[') return true;
    unsigned char address[16];
    if (inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1) return true;
    std::string_view last = std::string_view(host).substr(host.rfind('.') == std::string::npos ? 0 : host.rfind('.') + 1);
    return !last.empty() && std::all_of(last.begin(), last.end(), [](unsigned char c) { return std::isdigit(c); });
}

/// An IPv6 address with a zone ("fe80::1%lo"), which inet_pton does not read.
bool isScopedIPv6Address(const std::string& host) {
    std::size_t zone = host.find('%');
    if (zone == std::string::npos || zone == 0 || zone + 1 == host.size()) return false;
    unsigned char address[16];
    return inet_pton(AF_INET6, host.substr(0, zone).c_str(), address) == 1;
}

}  // namespace

bool QXHostValueCheck::isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

// A line break would end the header and start another one of the caller's making, a NUL
// ends the value early on many servers, and a header value holds no other control
// character either (servers refuse the whole request for one).
std::string QXHostValueCheck::headerValueProblem(std::string_view value, const std::string& what) {
    if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return isControl(c); }))
        return what + " without carriage returns, line feeds, NUL or other control characters!";
    if (value.size() > kMaxHeaderValueLength)
        return rt::format("%s of at most %lld bytes, not %lld!", what, static_cast<long long>(kMaxHeaderValueLength),
                          static_cast<long long>(value.size()));
    return {};
}

// The players put the host into "wss://r<n>-<cluster>.<host>/", so a URL, a port, a path
// or an address given here would make a name nobody can reach.
std::string QXHostValueCheck::hostNameProblem(const std::string& host) {
    if (isBlank(host)) return "a non-empty media-server host!";
    auto refused = [&](const std::string& what) {
        return "a bare media-server host name (such as \"media.example.com\"), not " + what + ": \"" +
               shownText(host) + "\"!";
    };
    if (host.find_first_of("\r\n") != std::string::npos) return refused("a name with a line break");
    if (std::any_of(host.begin(), host.end(), [](unsigned char c) { return isControl(c); }))
        return refused("a name with a control character");
    if (host.find("://") != std::string::npos) return refused("a URL with a scheme");
    if (host.find('/') != std::string::npos) return refused("a host with a path");
    if (isAddressLiteral(host))
        return refused("an IP address (the players reach \"r<n>-<cluster>.<host>\", which needs a name)");
    if (isScopedIPv6Address(host))
        return refused("a scoped IPv6 address (an address with a zone such as \"%eth0\"; the players reach "
                       "\"r<n>-<cluster>.<host>\", which needs a name)");
    if (host.find(':') != std::string::npos) return refused("a host with a port");
    bool nameOnly = std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_';
    });
    if (!nameOnly) return refused("a name with characters other than letters, digits, '-', '_' and '.'");
    if (host.size() > kMaxHostNameLength)
        return refused(rt::format("a name of %lld characters (at most %lld)", static_cast<long long>(host.size()),
                                  static_cast<long long>(kMaxHostNameLength)));
    for (std::size_t start = 0;;) {
        std::size_t end = std::min(host.find('.', start), host.size());
        std::string_view label = std::string_view(host).substr(start, end - start);
        if (label.empty()) return refused("a name with an empty label");
        if (label.size() > kMaxHostLabelLength)
            return refused(rt::format("a name with a label of %lld characters (at most %lld)",
                                      static_cast<long long>(label.size()), static_cast<long long>(kMaxHostLabelLength)));
        if (label.front() == '-' || label.back() == '-')
            return refused("a name with a label that begins or ends with '-'");
        if (end == host.size()) break;
        start = end + 1;
    }
    return {};
}

void QXHostValueCheck::requireMediaServerSettings(const QXMediaServerSettings& settings, const std::string& caller) {
    const std::string refusal = caller + " must be called with ";
    if (std::string problem = hostNameProblem(settings.host); !problem.empty())
        QXQuorvexPlayerImpl::raiseParameterError(refusal + problem);
    for (const auto& [value, what] : {std::pair{&settings.origin, "an origin"}, {&settings.userAgent, "a user agent"}})
        if (std::string problem = headerValueProblem(*value, what); !problem.empty())
            QXQuorvexPlayerImpl::raiseParameterError(refusal + problem);
    if (!settings.extraTrustAnchorsPem.empty() && net::pemCertificateCount(settings.extraTrustAnchorsPem) == 0)
        QXQuorvexPlayerImpl::raiseParameterError(
            refusal + "trust anchors that hold at least one PEM certificate (\"-----BEGIN CERTIFICATE-----\"), or with "
                      "none!");
}

}  // namespace zid
