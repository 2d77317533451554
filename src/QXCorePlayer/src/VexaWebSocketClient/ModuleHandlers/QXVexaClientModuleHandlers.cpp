#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <limits>
#include <utility>
#include <vector>

#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include <QXFoundation/Extensions/WebURL.h>
#include <fnd/RunLoop.h>

namespace zid {

// ---- shared readings --------------------------------------------------------------------

rt::Value vexaValueFromJSON(const QXVexaMessage& json) {
    switch (json.type()) {
        case QXVexaMessage::value_t::null: return rt::Value::null();
        case QXVexaMessage::value_t::boolean: return rt::Value(json.get<bool>());
        case QXVexaMessage::value_t::number_integer: return rt::Value(static_cast<long long>(json.get<std::int64_t>()));
        case QXVexaMessage::value_t::number_unsigned:
            return rt::Value(static_cast<unsigned long long>(json.get<std::uint64_t>()));
        case QXVexaMessage::value_t::number_float: return rt::Value(json.get<double>());
        case QXVexaMessage::value_t::string: return rt::Value(json.get<std::string>());
        case QXVexaMessage::value_t::array: {
            rt::Value::Array array;
            for (const auto& item : json) array.push_back(vexaValueFromJSON(item));
            return rt::Value(std::move(array));
        }
        case QXVexaMessage::value_t::object: {
            // An object's keys differ (its parse kept one value per key), so none is
            // looked for among the others: an object of many members costs no more
            // than its members.
            std::vector<std::pair<rt::Value, rt::Value>> entries;
            entries.reserve(json.size());
            for (const auto& [key, value] : json.items()) {
                rt::Value converted = vexaValueFromJSON(value);
                if (!converted.isNil()) entries.emplace_back(rt::Value(key), std::move(converted));
            }
            return rt::Value(rt::Dictionary::withDistinctKeys(std::move(entries)));
        }
        default: return rt::Value();
    }
}

std::optional<std::int64_t> vexaWholeNumber(const QXVexaMessage& json) {
    if (json.is_boolean()) return json.get<bool>() ? 1 : 0;
    if (json.is_number_integer() && !json.is_number_unsigned()) return json.get<std::int64_t>();
    if (json.is_number_unsigned()) {
        auto value = json.get<std::uint64_t>();
        return value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(value);
    }
    if (json.is_number_float()) {
        double value = std::trunc(json.get<double>());
        if (std::isnan(value)) return 0;
        if (value >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
        if (value <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(value);
    }
    return std::nullopt;
}

namespace {

/// The integer a string starts with (leading blanks, a sign, digits), as the platform
/// reads a string's integer value: "2.5" gives 2, "abc" gives 0.
std::int64_t integerPrefix(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        int digit = text[i] - '0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
            value = std::numeric_limits<std::int64_t>::max();
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

/// Calls each with every object of the array under key (other elements are passed over;
/// nothing when there is no such array).
template <class Each> void forEachObjectIn(const QXVexaMessage& object, const char* key, Each&& each) {
    if (!object.contains(key) || !object[key].is_array()) return;
    for (const auto& element : object[key])
        if (element.is_object()) each(element);
}

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
int daysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

/// Local midnight of a calendar day (the Gregorian calendar, the current time zone).
std::optional<rt::Date> localMidnight(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    std::time_t time = std::mktime(&tm);
    if (time == static_cast<std::time_t>(-1) && !(year == 1969 && month == 12 && day == 31)) return std::nullopt;
    return rt::Date{static_cast<double>(time)};
}

/// "yyyy-MM-dd", exactly.
std::optional<rt::Date> parseDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    int year = std::stoi(text.substr(0, 4)), month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month)) return std::nullopt;
    return localMidnight(year, month, day);
}

/// The start of today, N years back (the 29th of February becomes the 28th).
std::optional<rt::Date> yearsBefore(rt::Date now, std::int64_t years) {
    if (years < 0 || years > 1000) return std::nullopt;
    std::time_t time = static_cast<std::time_t>(now.secondsSince1970);
    std::tm tm{};
    localtime_r(&time, &tm);
    int year = tm.tm_year + 1900 - static_cast<int>(years), month = tm.tm_mon + 1;
    return localMidnight(year, month, std::min(tm.tm_mday, daysIn(year, month)));
}

/// Marks the connection rejected for a lock the listeners are told of; `key` and `data`
/// are what the server sent, kept for the listeners to say.
void reportReject(QXVexaClient& client, std::int64_t reason, const char* key, const QXVexaMessage& data) {
    client.setConnectionRejected(true);
    client.setRejection("\"" + std::string(key) + "\":" + vexaSerialize(data).value_or("(not JSON)"));
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidRejectWithReason(client, reason); });
}

std::optional<double> reportInterval(const QXVexaMessage& value) {
    std::optional<double> seconds;
    if (value.is_number() && !value.is_boolean()) seconds = value.get<double>();
    else if (value.is_string()) seconds = static_cast<double>(integerPrefix(value.get<std::string>()));
    // A positive interval under a second would flood the server: one second at least.
    if (seconds && *seconds > 0 && *seconds < 1) seconds = 1;
    return seconds;
}

}  // namespace

std::optional<rt::Date> vexaMaximumBirthDate(const QXVexaMessage& data, rt::Date now) {
    if (data.is_string()) return yearsBefore(now, integerPrefix(data.get<std::string>()));
    if (!data.is_object()) return std::nullopt;
    if (data.contains("minimumAge")) {
        const auto& age = data["minimumAge"];
        if (age.is_string()) return yearsBefore(now, integerPrefix(age.get<std::string>()));
        if (auto years = vexaWholeNumber(age); years && !age.is_boolean()) return yearsBefore(now, *years);
        return std::nullopt;
    }
    if (auto date = vexaString(data, "maximumBirthDate")) return parseDay(*date);
    return std::nullopt;
}

rt::Value vexaThumbnails(const QXVexaMessage& data) {
    auto entry = [](const std::string& pattern, long size) {
        std::string url = pattern, sized = std::to_string(size) + "x" + std::to_string(size);
        for (std::size_t at; (at = url.find("#SIZE#")) != std::string::npos;) url.replace(at, 6, sized);
        rt::Dictionary dictionary;
        dictionary.set("URL", rt::Value(url));
        dictionary.set("width", rt::Value(size));
        dictionary.set("height", rt::Value(size));
        return rt::Value(dictionary);
    };
    bool falseNumber = (data.is_boolean() && !data.get<bool>()) || (data.is_number() && data.get<double>() == 0);
    if (falseNumber) {
        std::string pattern = std::string("http://") + kVexaStaticContentHost + "/images/defaults/channel_#SIZE#:1.png";
        return rt::Value(rt::Value::Array{entry(pattern, 90), entry(pattern, 66), entry(pattern, 48)});
    }
    // The picture is fetched: a server may name only http and https addresses.
    if (auto url = data.is_object() ? vexaString(data, "channelPictureSecureUrl") : std::nullopt; url && isWebURL(*url))
        return rt::Value(rt::Value::Array{entry(*url, 90)});
    return rt::Value();
}

namespace {
/// 2100-01-01 00:00:00 UTC.
constexpr double kLatestPlausibleUnixTime = 4102444800.0;
}  // namespace

// ---- reject reasons and locks ---------------------------------------------------------

bool QXVexaClientClusterRejectModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    auto host = data.is_object() ? vexaString(data, "host") : std::nullopt;
    auto name = data.is_object() ? vexaString(data, "name") : std::nullopt;
    if (!host || !name) {
        ignored(data, "a move needs a host and a cluster name");
        return true;
    }
    // The name becomes one label of the socket's host: anything else could point the
    // next subscribe, with its key and pins, at a host outside the service's domain.
    bool oneLabel = !name->empty() && name->size() <= 63 &&
                    std::all_of(name->begin(), name->end(), [](char c) {
                        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
                    });
    if (!oneLabel) {
        ignored(data, "a cluster name must be one DNS label (letters, digits, \"-\"); not moving");
        return true;
    }
    client.setConnectionRejected(true);  // the subchannel ends; the client moves on
    if (client.connection()) client.connection()->reconnectToHost(*host, *name);
    return true;
}

bool QXVexaClientHashLockModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    std::optional<std::string> url;
    if (data.is_object()) url = vexaString(data, "url");
    if (!url && !(data.is_object() && !data.contains("url"))) ignored(data, "no usable \"url\"; the lock stands without it");
    client.setConnectionRejected(true);
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveHashLock(client, url); });
    return true;
}

bool QXVexaClientAgeLockModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    auto date = vexaMaximumBirthDate(data, fnd::RunLoop::main()->clock().date());
    if (!date) {
        ignored(data, "no usable age or birth date");
        return true;
    }
    bool wasRejected = client.connectionRejected();
    client.setConnectionRejected(true);
    bool stands = client.ask([&](VexaClientListener& listener) {
        return listener.vexaClientDidReceiveAgeLock(client, 0, *date);
    });
    if (!stands) client.setConnectionRejected(wasRejected);  // ignored: it marks nothing
    return true;
}

bool QXVexaClientGeoLockModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    bool off = (data.is_boolean() && !data.get<bool>()) || (data.is_number() && data.get<double>() == 0);
    if (!off) reportReject(client, 7, moduleKey(), data);
    return true;
}

bool QXVexaClientReasonLockModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    reportReject(client, reason_, key_, data);
    return true;
}

// ---- stream ---------------------------------------------------------------------------

bool QXVexaClientStreamModuleHandlerV1::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    bool online = true;
    if (data.is_null() || data.is_discarded()) online = false;
    else if (data.is_boolean()) online = data.get<bool>();
    else if (data.is_number()) online = data.get<double>() != 0;
    else if (data.is_string()) online = data.get<std::string>() != "offline";
    client.notify([&](VexaClientListener& listener) { listener.vexaClientOnlineStatusChanged(client, online); });

    std::optional<std::string> url;
    if (data.is_array()) {
        for (const auto& provider : data) {
            if (!provider.is_object()) continue;
            auto name = vexaString(provider, "name");
            if (name == "uhls") {
                if (auto found = vexaString(provider, "url")) {
                    url = found;
                    break;
                }
            } else if (name == "quorvex" && provider.contains("streams") && provider["streams"].is_array()) {
                for (const auto& stream : provider["streams"]) {
                    if (!stream.is_object() || vexaString(stream, "mimetype") != "video/mp4") continue;
                    if (auto streamName = vexaString(stream, "streamName")) {
                        url = streamName;
                        break;
                    }
                }
                if (url) break;
            }
        }
    }
    if (url) {
        client.setPlaylistURL(url);
        client.notify([&](VexaClientListener& listener) { listener.vexaClientMediaUrlChanged(client, *url); });
    }
    return true;
}

bool QXVexaClientStreamModuleHandlerV2::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    if (!data.is_object()) return false;
    bool available = false;
    if (data.contains("contentAvailable")) {
        const auto& flag = data["contentAvailable"];
        available = flag.is_boolean() ? flag.get<bool>() : flag.is_number() && flag.get<double>() != 0;
    }
    client.notify([&](VexaClientListener& listener) { listener.vexaClientOnlineStatusChanged(client, available); });
    std::vector<rt::Ref<QXVexaClientAccessInfo>> infos;
    if (const auto* formats = vexaObject(data, "streamFormats")) {
        for (const auto& [format, description] : formats->items()) {
            const auto* access = description.is_object() ? vexaObject(description, "contentAccess") : nullptr;
            if (!access) continue;
            auto mode = vexaString(*access, "accessMode").value_or("");
            std::transform(mode.begin(), mode.end(), mode.begin(), [](unsigned char c) { return std::toupper(c); });
            std::vector<rt::Ref<QXVexaClientContentAccessPoint>> points;
            forEachObjectIn(*access, "accessList", [&](const QXVexaMessage& element) {
                const auto* pointData = vexaObject(element, "data");
                auto url = pointData ? vexaString(*pointData, "url") : std::nullopt;
                if (!url) return;
                if (mode == "DIRECT")
                    points.push_back(QXVexaClientDirectContentAccessPoint::accessPointWithProvider(
                        vexaString(*pointData, "provider").value_or(""), *url));
                else if (mode == "APPEND")
                    points.push_back(QXVexaClientAppendContentAccessPoint::accessPointWithParameterName(
                        vexaString(*pointData, "parameter").value_or(""), *url));
            });
            infos.push_back(QXVexaClientAccessInfo::accessInfoWithStreamFormat(format, std::move(points)));
        }
    }
    client.setAccessInfos(infos);
    return true;
}

// ---- CDN configuration ----------------------------------------------------------------

bool QXVexaClientCdnConfigModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    static const QXVexaMessage empty = QXVexaMessage::object();
    const QXVexaMessage& config = data.is_object() ? data : empty;
    if (!data.is_object()) ignored(data, "not an object; no services");
    std::string protocol = vexaString(config, "protocol").value_or("");
    std::vector<rt::Ref<QXCDNService>> services;
    forEachObjectIn(config, "data", [&](const QXVexaMessage& service) {
        std::string name = vexaString(service, "name").value_or("");
        bool useBestSite = vexaBoolean(service, "useBestSite").value_or(false);
        vexaLog(objectClass(), 6, "cdnService name=%@ useBestSite:%d", name, useBestSite ? 1 : 0);
        bool ecdn = QXCDNService::serviceWithName(name, useBestSite, {})->isECDN();
        std::vector<rt::Ref<QXCDNLocation>> locations;
        forEachObjectIn(service, "data", [&](const QXVexaMessage& location) {
            std::string locationName = vexaString(location, "location").value_or("");
            bool fallback = vexaBoolean(location, "cdnFallbackEnabled").value_or(false);
            vexaLog(objectClass(), 6, "\tlocation %@ [fallback: %d]", locationName, fallback ? 1 : 0);
            std::vector<rt::Ref<QXCDNSite>> sites;
            forEachObjectIn(location, "sites", [&](const QXVexaMessage& site) {
                std::string host = vexaString(site, "host").value_or("");
                std::string path = vexaString(site, "path").value_or("");
                vexaLog(objectClass(), 6, "\t\tsite %@%@", host, path);
                sites.push_back(ecdn ? ECDNBox::siteWithProtocol(protocol, host, path)
                                     : QXCDNSite::siteWithProtocol(protocol, host, path));
            });
            locations.push_back(QXCDNLocation::locationWithName(locationName, fallback, std::move(sites)));
        });
        services.push_back(QXCDNService::serviceWithName(name, useBestSite, std::move(locations)));
    });
    client.setCDNServices(services);
    return true;
}

// ---- the other modules ----------------------------------------------------------------

bool QXVexaClientHighlightModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    auto ratio = [&](const char* key) {
        if (!data.is_object() || !data.contains(key)) return 0.0;
        const auto& value = data[key];
        return value.is_number() && !value.is_boolean() ? value.get<double>() : 0.0;
    };
    if (!data.is_object()) ignored(data, "not an object; ratios 0");
    double start = ratio("start"), end = ratio("end");
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveHighlightStartRatio(client, start, end); });
    return true;
}

bool QXVexaClientLogosModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    std::vector<rt::Ref<VexaLogoInfo>> logos;
    if (!data.is_array()) ignored(data, "not an array; no logos");
    else {
        for (const auto& item : data) {
            if (!item.is_object()) {
                ignored(item, "a logo that is not an object");
                continue;
            }
            auto logo = rt::make<VexaLogoInfo>();
            if (item.contains("align")) logo->align = vexaWholeNumber(item["align"]).value_or(0);
            if (item.contains("margin")) logo->margin = vexaWholeNumber(item["margin"]).value_or(0);
            if (item.contains("mobile")) logo->mobile = vexaWholeNumber(item["mobile"]).value_or(0) != 0;
            logo->url = vexaString(item, "secureUrl");
            if (logo->url && !isWebURL(*logo->url)) {
                ignored(item, "a logo picture URL that is not http or https; the logo stays without a picture");
                logo->url.reset();
            }
            logo->clickUrl = vexaString(item, "clickUrl");
            logos.push_back(logo);
        }
    }
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveLogos(client, logos); });
    return true;
}

bool QXVexaClientViewerCountModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    auto count = wholeNumberOrIgnored(data);
    if (!count) return false;
    bool enabled = data.is_boolean() ? data.get<bool>() : true;
    client.notify([&](VexaClientListener& listener) { listener.vexaClientViewerCountChanged(client, *count, enabled); });
    return true;
}

bool QXVexaClientTotalViewerCountModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    auto count = wholeNumberOrIgnored(data);
    if (!count) return false;
    client.notify([&](VexaClientListener& listener) { listener.vexaClientTotalViewerCountChanged(client, *count); });
    return true;
}

QXVexaClientMetaInfoModuleHandler::QXVexaClientMetaInfoModuleHandler(const rt::Ref<QXVexaClient>& client)
    : QXVexaClientModuleHandler(client) {
    addHandler(rt::make<QXVexaClientBroadcastStartDateModuleHandler>(client));
}

bool QXVexaClientMetaInfoModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    if (!data.is_object()) {
        ignored(data, "not an object");
        return false;
    }
    if (data.contains("wentOnlineInUnixTs")) askChildren("wentOnlineInUnixTs", data["wentOnlineInUnixTs"]);
    if (data.contains("title")) {
        if (auto title = vexaString(data, "title"))
            client.notify([&](VexaClientListener& listener) { listener.vexaClientTitleChanged(client, *title); });
        else
            ignored(data["title"], "a title that is not a string");
    }
    auto flag = [&](const char* key) {
        if (!data.contains(key)) return false;
        const auto& value = data[key];
        return value.is_boolean() ? value.get<bool>() : value.is_number() && value.get<double>() != 0;
    };
    auto delivered = [&](const char* key) { return data.contains(key) ? vexaValueFromJSON(data[key]) : rt::Value(); };
    VexaClientMetadata metadata;
    metadata.adFree = flag("adFree");
    metadata.mainCategoryId = delivered("mainCategoryId");
    metadata.mainCategoryName = delivered("mainCategoryName");
    metadata.subCategoryId = delivered("subCategoryId");
    metadata.subCategoryName = delivered("subCategoryName");
    metadata.channelUrl = vexaString(data, "url");
    if (data.contains("url") && !metadata.channelUrl) ignored(data["url"], "a channel URL that is not a string");
    metadata.contentPartner = flag("contentPartner");
    metadata.broadcasterFeatured = false;
    if (data.contains("keywords")) {
        const auto& keywords = data["keywords"];
        if (keywords.is_array()) {
            metadata.keywords.emplace();
            for (const auto& keyword : keywords) {
                if (keyword.is_string()) metadata.keywords->push_back(keyword.get<std::string>());
                else ignored(keyword, "a keyword that is not a string");
            }
        } else {
            ignored(keywords, "keywords that are not an array");
        }
    }
    client.notify([&](VexaClientListener& listener) { listener.vexaClientAdFree(client, metadata); });
    return true;
}

bool QXVexaClientThumbnailModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    rt::Value thumbnails = vexaThumbnails(data);
    if (thumbnails.isNil()) ignored(data, "neither false nor an object with an http or https picture URL");
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveThumbnails(client, thumbnails); });
    return true;
}

bool QXVexaClientRateLimitModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    if (!data.is_object()) {
        ignored(data, "not an object");
        return false;
    }
    if (data.contains("deferred")) {
        if (auto seconds = reportInterval(data["deferred"])) client.setBandwidthReportTimeInterval(*seconds);
        else ignored(data["deferred"], "a bandwidth interval that is neither a number nor a string");
    }
    if (data.contains("immediate")) {
        if (auto seconds = reportInterval(data["immediate"])) client.setBufferingReportTimeInterval(*seconds);
        else ignored(data["immediate"], "a buffering interval that is neither a number nor a string");
    }
    return true;
}

bool QXVexaClientBroadcasterModuleHandler::handleData(QXVexaClient&, const QXVexaMessage& data) {
    if (data.is_object()) return true;
    ignored(data, "not an object");
    return false;
}

bool QXVexaClientBroadcastStartDateModuleHandler::handleData(QXVexaClient& client, const QXVexaMessage& data) {
    if (!data.is_number() || data.is_boolean()) {
        ignored(data, "not a number of seconds");
        return false;
    }
    // Seconds since 1970 of a broadcast that began between then and 2100; anything
    // else is a faulty value, not a date to show.
    double seconds = data.get<double>();
    if (!(seconds >= 0 && seconds <= kLatestPlausibleUnixTime)) {
        ignored(data, "not a plausible start date");
        return false;
    }
    rt::Date date{seconds};
    client.notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveBroadcastStartDate(client, date); });
    return true;
}

}  // namespace zid
