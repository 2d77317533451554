#pragma once
// The gateway's key names for the caller's parameters: a table common to every method
// and tables of a few methods' own, applied with the property mapper. Parameters no
// table names go out under their own names, unchanged; a null value is left out, except
// "locale", which is always sent as one of the gateway's supported locales.
//
// When the caller gives both "recordID" and "videoID" (both are the gateway's
// "videoId"), "recordID" is the one sent.

#include <string>
#include <string_view>
#include <vector>

#include <rt/Value.h>

namespace zid {

class QXGatewayRequestMapper {
public:
    /// The common table, with the method's own entries taking over the keys they name.
    static rt::Dictionary mappedRequest(const rt::Dictionary& parameters, std::string_view method);
    static rt::Dictionary mappedCommonRequest(const rt::Dictionary& parameters);
    static rt::Dictionary mappedAddVideoRequest(const rt::Dictionary& parameters);
    static rt::Dictionary mappedConnectTwitterRequest(const rt::Dictionary& parameters);
    static rt::Dictionary mappedGetAllByUserRequest(const rt::Dictionary& parameters);
    static rt::Dictionary mappedSetTaglineRequest(const rt::Dictionary& parameters);
    static rt::Dictionary mappedUpdateEventRequest(const rt::Dictionary& parameters);

    /// Whether the method (by short name) has a table of its own.
    static bool hasOwnMapping(std::string_view method);
};

/// "en_US", "ja_JP", "pt_BR", "hu_BU", "hu_HU", "en_SG", "ko_KR", "fr_FR", "de_DE",
/// "es_ES", "ru_RU", "nl_NL", "it_IT", "zh_TW", "zh_CN".
const std::vector<std::string>& supportedGatewayLocales();
/// The locale when it is one of those, "en_US" for anything else (nil, null, numbers).
std::string supportedLocale(const rt::Value& locale);

}  // namespace zid
