#pragma once
// What a host hands the player that ends up on the wire (the API key, the media
// server's host, origin and user agent), checked before anything keeps it.

#include <string>
#include <string_view>

#include <QXSDKPlayer/Common/QXMediaServerSettings.h>

namespace zid {

class QXHostValueCheck {
public:
    /// Empty or white space alone.
    static bool isBlank(std::string_view text);
    /// What is wrong with a value sent in a header line of the media server's opening
    /// handshake (or in its first message), said as the rest of "must be called with
    /// ..."; empty when nothing is.
    static std::string headerValueProblem(std::string_view value, const std::string& what);
    /// What is wrong with a media-server host, said the same way; empty when it is a host
    /// name DNS allows.
    static std::string hostNameProblem(const std::string& host);
    /// Raises QXQuorvexPlayerParameterError "<caller> must be called with ..." for media
    /// server settings the players could not reach a server with: a host that is no bare
    /// name (empty, a URL, an address, a line break), an origin or user agent with a
    /// control character or too long, trust anchors without a certificate.
    static void requireMediaServerSettings(const QXMediaServerSettings& settings, const std::string& caller);
};

}  // namespace zid
