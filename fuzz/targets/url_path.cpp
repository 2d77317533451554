// URLs and paths made from what servers send: stream access points (a URL of their own,
// or one a CDN site is appended to), socket URLs, and the local paths of file URLs.
// Input: NUL-separated fields: a URL, a parameter name, a site host, a site path, a
// directory and a name.
//
// A URL taken apart and put together again reads the same; an access point answers a
// URL only for a URL that parses, the direct one its own and the appending one the
// original with exactly the site's item added to its query; a socket URL's parts make
// the same parts again; a file URL's path is absolute and holds no NUL byte (which
// would cut the path short where the system reads it); a joined path has exactly one
// "/" at the join.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaClientAccessInfo.h>
#include <QXNetworking/Common/Session/URLComponents.h>
#include <QXUIKit/ImageFetching/QXImageRequestOperation.h>
#include <fnd/Paths.h>
#include <net/WebSocket.h>

#include "FuzzInput.h"

namespace {

bool same(const zid::URLComponents& a, const zid::URLComponents& b) {
    return a.scheme == b.scheme && a.host == b.host && a.percentEncodedPath == b.percentEncodedPath && a.query == b.query &&
           a.fragment == b.fragment;
}

void checkURL(const std::string& url) {
    const auto parts = zid::URLComponents::parse(url);
    if (!parts) return;
    const std::string text = parts->string();
    const auto again = zid::URLComponents::parse(text);
    if (!again || !same(*parts, *again) || again->string() != text) std::abort();
    if (!parts->percentEncodedPath.empty() && parts->percentEncodedPath[0] != '/') std::abort();
    const auto components = parts->pathComponents();
    if (!parts->percentEncodedPath.empty() && (components.empty() || components[0] != "/")) std::abort();
}

void checkAccessPoints(const std::string& url, const std::string& parameter, const std::string& host,
                       const std::string& path) {
    const bool parses = zid::URLComponents::parse(url).has_value();
    auto site = zid::QXCDNSite::siteWithProtocol("https", host, path);
    auto direct = zid::QXVexaClientDirectContentAccessPoint::accessPointWithProvider("provider", url);
    const auto own = direct->URLWithCDNSite(site);
    if (own.has_value() != parses || (own && *own != url)) std::abort();

    auto append = zid::QXVexaClientAppendContentAccessPoint::accessPointWithParameterName(parameter, url);
    if (append->URLWithCDNSite(nullptr)) std::abort();
    const auto appended = append->URLWithCDNSite(site);
    if (appended.has_value() != parses) std::abort();
    if (!appended) return;
    const auto before = *zid::URLComponents::parse(url);
    const auto after = zid::URLComponents::parse(*appended);
    if (!after || after->scheme != before.scheme || after->host != before.host ||
        after->percentEncodedPath != before.percentEncodedPath || after->fragment != before.fragment)
        std::abort();
    const std::string item = zid::percentEncodedForQueryComponent(parameter) + "=" +
                             zid::percentEncodedForQueryComponent(host + path);
    const std::string expected = before.query && !before.query->empty() ? *before.query + "&" + item : item;
    if (after->query != expected) std::abort();
}

void checkSocketURL(const std::string& url) {
    const auto parts = net::parseWebSocketURL(url);
    if (!parts) return;
    if (parts->host.empty() || parts->port == 0 || parts->target.empty() || parts->target[0] != '/') std::abort();
    if (parts->target.find('#') != std::string::npos) std::abort();
    // A host that holds brackets itself has no written form to compare with.
    if (parts->host.find_first_of("[]") != std::string::npos) return;
    const bool bracketed = parts->host.find(':') != std::string::npos;
    const std::string rebuilt = std::string(parts->secure ? "wss://" : "ws://") +
                                (bracketed ? "[" + parts->host + "]" : parts->host) + ":" +
                                std::to_string(parts->port) + parts->target;
    const auto again = net::parseWebSocketURL(rebuilt);
    if (!again || again->secure != parts->secure || again->host != parts->host || again->port != parts->port ||
        again->target != parts->target)
        std::abort();
}

void checkFileURL(const std::string& url) {
    const auto path = zid::QXImageRequestOperation::localPathOfFileURL(url);
    if (!path) return;
    if (path->empty() || (*path)[0] != '/') std::abort();
    if (path->find('\0') != std::string::npos) std::abort();
}

void checkJoin(const std::string& directory, const std::string& name) {
    const std::string joined = fnd::joinPath(directory, name);
    std::string_view trimmedName = name;
    while (!trimmedName.empty() && trimmedName.front() == '/') trimmedName.remove_prefix(1);
    if (joined.size() < trimmedName.size() + 1) std::abort();
    if (joined.compare(joined.size() - trimmedName.size(), trimmedName.size(), trimmedName) != 0) std::abort();
    const std::size_t join = joined.size() - trimmedName.size();  // just after the separator
    if (joined[join - 1] != '/' || (join >= 2 && joined[join - 2] == '/')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zidfuzz::FuzzInput input(data, size);
    const std::string url(input.field());
    const std::string parameter(input.field());
    const std::string host(input.field());
    const std::string path(input.field());
    const std::string directory(input.field());
    const std::string name(input.rest());
    input.reached();

    checkURL(url);
    checkAccessPoints(url, parameter, host, path);
    checkSocketURL(url);
    checkFileURL(url);
    checkJoin(directory, name);
    return 0;
}
