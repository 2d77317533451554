#include "Gateway/Response/QXGatewayResponseConverters.h"

#include <mutex>
#include <vector>

#include <QXFoundation/DateUtils/DateUtil.h>
#include <QXFoundation/Extensions/StringExtensions.h>
#include "Common/PropertyMapper/KZPropertyMapper.h"
#include <fnd/TextCase.h>

namespace zid {

namespace {

rt::Value indexIn(const rt::Value& text, std::initializer_list<const char*> names) {
    if (!text.isString()) return rt::Value(0LL);
    const std::string lowered = fnd::lowercaseString(text.string());
    long long index = 0;
    for (const char* name : names) {
        if (lowered == name) return rt::Value(index);
        ++index;
    }
    return rt::Value(0LL);
}

// Maps each object of a list with a table; an item that is no object, or that lacks a
// required member, is left out.
rt::Value mapEach(const rt::Value& items, const rt::Value& mapping) {
    rt::Value::Array out;
    if (!items.isArray()) return rt::Value(out);
    for (const auto& item : items.array()) {
        if (!item.isDictionary()) continue;
        rt::Dictionary target;
        std::vector<rt::Ref<rt::Error>> errors;
        KZPropertyMapper::mapValuesFrom(item, target, mapping, &errors);
        if (errors.empty()) out.push_back(rt::Value(target));
    }
    return rt::Value(out);
}

rt::Value required(const char* propertyName) {
    return rt::Value(KZPropertyDescriptor::descriptorWithPropertyName(propertyName)->isRequired());
}

}  // namespace

rt::Ref<fnd::DateFormatter> gatewayDateFormatter() {
    static const rt::Ref<fnd::DateFormatter> formatter = [] {
        auto made = rt::make<fnd::DateFormatter>("yyyy-MM-dd HH:mm:ss", fnd::Locale::withIdentifier("en_US_POSIX"));
        made->setTimeZone(fnd::TimeZone::withAbbreviation("PST"));
        return made;
    }();
    return formatter;
}

rt::Value dateFromString(const rt::Value& text) {
    if (!text.isString()) return {};
    const auto date = gatewayDateFormatter()->dateFromString(text.string());
    return date ? rt::Value(*date) : rt::Value();
}

rt::Value repeatTypeFromString(const rt::Value& text) { return indexIn(text, {"never", "daily", "weekly"}); }

rt::Value repeatDataFromDayNames(const rt::Value& names) {
    std::vector<std::string> list;
    if (names.isArray())
        for (const auto& name : names.array())
            if (name.isString()) list.push_back(name.string());
    return rt::Value(static_cast<long long>(DateUtil::maskDayNames(list)));
}

rt::Value liveStateFromString(const rt::Value& text) { return indexIn(text, {"offline", "live"}); }
rt::Value highlightPrivacyFromString(const rt::Value& text) { return indexIn(text, {"everyone", "followers", "owner"}); }
rt::Value watchPrivacyFromString(const rt::Value& text) { return indexIn(text, {"public", "friends", "private"}); }
rt::Value enabledStateFromString(const rt::Value& text) { return indexIn(text, {"disabled", "enabled"}); }

rt::Value channelThumbnailsFromArray(const rt::Value& thumbnails) {
    static const rt::Value mapping = [] {
        rt::Dictionary d;
        d.set(rt::Value("url"), rt::Value(KZPropertyDescriptor::descriptorWithPropertyName("URL")->isRequired()));
        d.set(rt::Value("width"), rt::Value("width"));
        d.set(rt::Value("height"), rt::Value("height"));
        return rt::Value(d);
    }();
    return mapEach(thumbnails, mapping);
}

rt::Value channelThumbnailsFromString(const rt::Value& text) {
    if (!text.isString()) return {};
    rt::Dictionary thumbnail;
    thumbnail.set(rt::Value("width"), rt::Value(90LL));
    thumbnail.set(rt::Value("height"), rt::Value(90LL));
    thumbnail.set(rt::Value("URL"), text);
    return rt::Value(rt::Value::Array{rt::Value(thumbnail)});
}

rt::Value channelsFromArray(const rt::Value& channels) {
    static const rt::Value mapping = [] {
        rt::Dictionary d;
        d.set(rt::Value("channelCode"), required("channelID"));
        d.set(rt::Value("channelThumbnails"), rt::Value("@Selector(channelThumbnailsFromArray:, channelThumbnails)"));
        d.set(rt::Value("thumbnail"), rt::Value("thumbnailURL"));
        d.set(rt::Value("tinyUrl"), rt::Value("tinyURL"));
        return rt::Value(d);
    }();
    registerGatewayResponseConverters();
    return mapEach(channels, mapping);
}

rt::Value emailFromString(const rt::Value& text) {
    if (!text.isString()) return {};
    // An address may hold a "%" that starts no escape ("100%real@x.test"): it is kept as
    // sent rather than lost.
    const auto decoded = urlDecodedString(text.string());
    return decoded ? rt::Value(*decoded) : text;
}

rt::Value bannerImegeURLFromString(const rt::Value& text) {
    if (!text.isString()) return {};
    std::string out;
    const std::string& in = text.string();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == 'r' && i + 1 < in.size() && in[i + 1] == ':') {
            out += "c:";
            ++i;
        } else {
            out.push_back(in[i]);
        }
    }
    return rt::Value(out);
}

rt::Value mediaIDForType(const rt::Value& mediaID, const rt::Value& item, const char* mediaType) {
    if (mediaID.isNilOrNull() || !item.isDictionary()) return {};
    const rt::Value type = item.dictionary().get(rt::Value("mediaType"));
    return type.isString() && type.string() == mediaType ? mediaID : rt::Value();
}

void registerGatewayResponseConverters() {
    static std::once_flag once;
    std::call_once(once, [] {
        using C = const KZConversion&;
        KZPropertyMapper::registerConverter("dateFromString:", [](C c) { return dateFromString(c.value); });
        KZPropertyMapper::registerConverter("repeatTypeFromString:", [](C c) { return repeatTypeFromString(c.value); });
        KZPropertyMapper::registerConverter("repeatDataFromDayNames:", [](C c) { return repeatDataFromDayNames(c.value); });
        KZPropertyMapper::registerConverter("liveStateFromString:", [](C c) { return liveStateFromString(c.value); });
        KZPropertyMapper::registerConverter("highlightPrivacyFromString:",
                                            [](C c) { return highlightPrivacyFromString(c.value); });
        KZPropertyMapper::registerConverter("watchPrivacyFromString:", [](C c) { return watchPrivacyFromString(c.value); });
        KZPropertyMapper::registerConverter("enabledStateFromString:", [](C c) { return enabledStateFromString(c.value); });
        KZPropertyMapper::registerConverter("channelThumbnailsFromArray:",
                                            [](C c) { return channelThumbnailsFromArray(c.value); });
        KZPropertyMapper::registerConverter("channelThumbnailsFromString:",
                                            [](C c) { return channelThumbnailsFromString(c.value); });
        KZPropertyMapper::registerConverter("channelsFromArray:", [](C c) { return channelsFromArray(c.value); });
        KZPropertyMapper::registerConverter("emailFromString:", [](C c) { return emailFromString(c.value); });
        KZPropertyMapper::registerConverter("bannerImegeURLFromString:", [](C c) { return bannerImegeURLFromString(c.value); });
        KZPropertyMapper::registerConverter("channelIDFromMediaID:",
                                            [](C c) { return mediaIDForType(c.value, c.source, "channel"); });
        KZPropertyMapper::registerConverter("recordIDFromMediaID:",
                                            [](C c) { return mediaIDForType(c.value, c.source, "video"); });
        KZPropertyMapper::registerConverter("highlightIDFromMediaID:",
                                            [](C c) { return mediaIDForType(c.value, c.source, "highlight"); });
    });
}

}  // namespace zid
