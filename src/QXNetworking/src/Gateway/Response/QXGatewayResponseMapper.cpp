#include "QXNetworking/Gateway/Response/QXGatewayResponseMapper.h"

#include <map>

#include <QXFoundation/Extensions/WebURL.h>
#include <QXFoundation/Log/QXLogger.h>
#include "Common/PropertyMapper/KZPropertyMapper.h"
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include "Gateway/QXGatewayHosts.h"
#include <QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h>
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include "Gateway/Response/QXGatewayResponseConverters.h"
#include <rt/Format.h>

namespace zid {

namespace {

enum class Template { Plain, ParentChannel, Owner, OwnerAndThumbnails, Thumbnails, Followed, ParentChannelAndAttending };
enum class Shape { Single, List };

struct Entry {
    const char* member;
    const char* path;        // one key path, or several joined with " & " for converters
    const char* converter;   // nullptr: plain
    bool required;
};

struct MethodMapping {
    Shape shape;
    Template templ;
    rt::Value table;
};

rt::Dictionary makeTemplate(Template t) {
    rt::Dictionary d;
    const auto empty = rt::Value(rt::Dictionary());
    // Filled thumbnails are a list, so the unfilled ones are one too: a key keeps one type.
    const auto noThumbnails = rt::Value(rt::Value::Array());
    switch (t) {
        case Template::Plain: break;
        case Template::ParentChannel: d.set(rt::Value("parentChannel"), empty); break;
        case Template::Owner: d.set(rt::Value("owner"), empty); break;
        case Template::OwnerAndThumbnails:
            d.set(rt::Value("owner"), empty);
            d.set(rt::Value("channelThumbnails"), noThumbnails);
            break;
        case Template::Thumbnails: d.set(rt::Value("channelThumbnails"), noThumbnails); break;
        case Template::Followed: d.set(rt::Value("followed"), rt::Value(rt::Number::ofBool(true))); break;
        case Template::ParentChannelAndAttending:
            d.set(rt::Value("parentChannel"), empty);
            d.set(rt::Value("eventAttending"), rt::Value(rt::Number::ofBool(true)));
            break;
    }
    return d;
}

rt::Value buildTable(std::initializer_list<Entry> entries) {
    rt::Dictionary table;
    for (const auto& e : entries) {
        std::string mapping = e.path;
        if (e.converter) mapping = "@Selector(" + std::string(e.converter) + ", " + e.path + ")";
        if (e.required) {
            auto descriptor = e.converter ? KZPropertyDescriptor::descriptorWithPropertyNameSelector(e.path, e.converter)
                                          : KZPropertyDescriptor::descriptorWithPropertyName(e.path);
            table.set(rt::Value(e.member), rt::Value(descriptor->isRequired()));
        } else {
            table.set(rt::Value(e.member), rt::Value(mapping));
        }
    }
    return rt::Value(table);
}

const std::map<std::string, MethodMapping, std::less<>>& mappings() {
    static const auto* table = [] {
        auto* m = new std::map<std::string, MethodMapping, std::less<>>();
        const auto searchUpcoming = buildTable({
            {"eventId", "eventID", nullptr, true},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelIsLive", "parentChannel.isLive", nullptr, false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"channelPicture", "thumbnailURL", nullptr, false},
            {"channelThumbnails", "parentChannel.channelThumbnails", "channelThumbnailsFromArray:", false},
            {"eventDescription", "summary", nullptr, false},
            {"eventFollower", "attenderNumber", nullptr, false},
            {"eventStartPst", "date", "dateFromString:", false},
            {"eventTitle", "title", nullptr, false},
            {"followed", "eventAttending", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
            {"scheduleType", "repeatType", "repeatTypeFromString:", false},
            {"scheduleDetails", "repeatData", "repeatDataFromDayNames:", false},
        });
        (*m)["SearchUpcoming"] = {Shape::List, Template::ParentChannel, searchUpcoming};

        (*m)["SearchBroadcast"] = {Shape::List, Template::Thumbnails, buildTable({
            {"channelId", "channelID", nullptr, true},
            {"channelTitle", "title", nullptr, false},
            {"channelThumbnails", "channelThumbnails", "channelThumbnailsFromArray:", false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"status", "isLive", "liveStateFromString:", false},
            {"liveHttpUrl", "contentURL", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
        })};

        (*m)["SearchRecorded"] = {Shape::List, Template::ParentChannel, buildTable({
            {"videoId", "recordID", nullptr, true},
            {"videoDate", "creationDate", nullptr, false},
            {"videoTitle", "title", nullptr, false},
            {"description", "summary", nullptr, false},
            {"liveHttpUrl", "contentURL", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
            {"highlightAccess", "highlightPrivacy", "highlightPrivacyFromString:", false},
            {"protect", "watchPrivacy", "watchPrivacyFromString:", false},
        })};

        (*m)["GetUserVideos"] = {Shape::List, Template::ParentChannel, buildTable({
            {"videoId", "recordID", nullptr, true},
            {"videoDate", "creationDate", nullptr, false},
            {"videoTitle", "title", nullptr, false},
            {"description", "summary", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
            {"highlightAccess", "highlightPrivacy", "highlightPrivacyFromString:", false},
            {"protect", "watchPrivacy", "watchPrivacyFromString:", false},
        })};

        {
            rt::Dictionary searchMedia = buildTable({
                {"thumbnailUrl", "thumbnailURL", nullptr, false},
                {"tinyUrl", "tinyURL", nullptr, false},
                {"status", "isLive", "liveStateFromString:", false},
                {"createdAt", "creationDate", nullptr, false},
                {"liveViews", "viewerNumber", nullptr, false},
                {"totalViews", "totalViewerNumber", nullptr, false},
            }).dictionary();
            // One member, three possible keys: exactly the one matching the item's type is written.
            // Without a property name of its own the descriptor stands for its joined
            // mapping; the validator names the member in its message instead.
            auto joined = KZPropertyDescriptor::descriptorWithPropertyNameAndMappings(
                "", {rt::Value("@Selector(channelIDFromMediaID:, channelID)"),
                     rt::Value("@Selector(recordIDFromMediaID:, recordID)"),
                     rt::Value("@Selector(highlightIDFromMediaID:, highlightID)")});
            joined->addValidatonWithBlock([](const rt::Value& value, const std::string&) -> rt::Ref<rt::Error> {
                if (!value.isNilOrNull()) return nullptr;
                return varno_NSErrorMake("mediaId: validation failed on isRequired", KZPropertyMapperErrorCode, {});
            });
            searchMedia.set(rt::Value("mediaId"), rt::Value(joined));
            (*m)["SearchMedia"] = {Shape::List, Template::Plain, rt::Value(searchMedia)};
        }

        (*m)["GetShowProfile"] = {Shape::Single, Template::OwnerAndThumbnails, buildTable({
            {"channelId", "channelID", nullptr, true},
            {"channelTitle", "title", nullptr, false},
            {"userId", "owner.userID", nullptr, false},
            {"broadcasterName", "owner.userName", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"channelThumbnails", "channelThumbnails", "channelThumbnailsFromArray:", false},
            {"shortenedUrl", "tinyURL", nullptr, false},
        })};

        (*m)["GetVideoInfo"] = {Shape::Single, Template::ParentChannel, buildTable({
            {"videoId", "recordID", nullptr, false},
            {"videoDate", "creationDate", nullptr, false},
            {"videoTitle", "title", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"description", "summary", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
        })};

        (*m)["GetEventProfile"] = {Shape::Single, Template::ParentChannel, buildTable({
            {"eventId", "eventID", nullptr, true},
            {"eventAttender", "attenderNumber", nullptr, false},
            {"rawEventTitle", "eventTitle", nullptr, false},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"tinyUrl", "parentChannel.tinyURL", nullptr, false},
            {"eventDescription", "summary", nullptr, false},
        })};

        const auto login = buildTable({
            {"sessionId", "sessionID", nullptr, true},
            {"userId", "userID", nullptr, true},
            {"profilePicture", "profilePictureURL", nullptr, false},
            {"premiumMembershipExpiresAt", "premiumExpireDate", nullptr, false},
            {"channels", "channels", "channelsFromArray:", false},
            {"email", "email", "emailFromString:", false},
        });
        (*m)["LoginMobile"] = {Shape::Single, Template::Plain, login};
        (*m)["LoginMobileByEmail"] = {Shape::Single, Template::Plain, login};

        (*m)["GetChannelsBySessionId"] = {Shape::List, Template::Owner, buildTable({
            {"channelCode", "channelID", nullptr, true},
            {"channelThumbnails", "channelThumbnails", "channelThumbnailsFromArray:", false},
            {"thumbnail", "thumbnailURL", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
            {"userId", "owner.userID", nullptr, false},
        })};

        (*m)["ListFollowedChannels"] = {Shape::List, Template::Followed, buildTable({
            {"channelId", "channelID", nullptr, true},
            {"channelTitle", "title", nullptr, false},
            {"crowdSize", "followerNumber", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"channelThumbnails", "channelThumbnails", "channelThumbnailsFromArray:", false},
            {"status", "isLive", "liveStateFromString:", false},
        })};

        (*m)["ListFavoriteVideos"] = {Shape::List, Template::ParentChannel, buildTable({
            {"videoId", "recordID", nullptr, true},
            {"videoTitle", "title", nullptr, false},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"videoDate", "creationDate", nullptr, false},
        })};

        (*m)["ListFollowedUpcoming"] = {Shape::List, Template::ParentChannelAndAttending, buildTable({
            {"eventId", "eventID", nullptr, true},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelIsLive", "parentChannel.isLive", nullptr, false},
            {"channelPicture", "thumbnailURL", nullptr, false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"eventTitle", "title", nullptr, false},
            {"eventDescription", "summary", nullptr, false},
            {"eventStartPst", "date", nullptr, false},
            {"rawEventTitle", "eventTitle", nullptr, false},
        })};

        (*m)["GetAllByUser"] = {Shape::List, Template::ParentChannel, buildTable({
            {"videoId", "recordID", nullptr, true},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"numberOfViews", "totalViewerNumber", nullptr, false},
            {"recordedAt", "videoDate", nullptr, false},
            {"description", "videoDescription", nullptr, false},
            {"liveHttpUrl", "contentURL", nullptr, false},
            {"thumbnailUrl", "thumbnailURL", nullptr, false},
            {"tags", "videoTags", nullptr, false},
        })};

        (*m)["GetUpcomingFeatured"] = {Shape::List, Template::ParentChannel, buildTable({
            {"eventId", "eventID", nullptr, true},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelIsLive", "parentChannel.isLive", nullptr, false},
            {"channelPicture", "thumbnailURL", nullptr, false},
            {"channelPictureFeatured", "bannerImageURL", "bannerImegeURLFromString:", false},
            {"channelTitle", "parentChannel.title", nullptr, false},
            {"channelThumbnails", "parentChannel.channelThumbnails", "channelThumbnailsFromArray:", false},
            {"eventDescription", "summary", nullptr, false},
            {"eventStartPst", "date", "dateFromString:", false},
            {"rawEventTitle", "title", nullptr, false},
            {"eventFollower", "attenderNumber", nullptr, false},
            {"followed", "eventAttending", nullptr, false},
        })};

        (*m)["GetEvents"] = {Shape::List, Template::ParentChannel, buildTable({
            {"eventId", "eventID", nullptr, true},
            {"channelId", "parentChannel.channelID", nullptr, false},
            {"channelPicture", "thumbnailURL", nullptr, false},
            {"channelThumbnails", "parentChannel.channelThumbnails", "channelThumbnailsFromArray:", false},
            {"description", "summary", nullptr, false},
            {"length", "eventLength", nullptr, false},
            {"startDate", "date", nullptr, false},
            {"eventTitle", "title", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
            {"scheduleType", "repeatType", "repeatTypeFromString:", false},
            {"scheduleDetails", "repeatData", "repeatDataFromDayNames:", false},
        })};

        (*m)["SendStatusUpdate"] = {Shape::Single, Template::Plain, buildTable({
            {"messageId", "messageID", nullptr, true},
            {"username", "author", nullptr, false},
            {"picture", "avatarURL", nullptr, false},
        })};
        (*m)["GetUserBenefits"] = {Shape::Single, Template::Plain, buildTable({
            {"premiumMembershipExpiresAt", "premiumExpireDate", nullptr, false},
        })};
        (*m)["GetServer"] = {Shape::Single, Template::Plain, buildTable({{"serverUrl", "rtmpUrl", nullptr, true}})};
        (*m)["GetProductList"] = {Shape::List, Template::Plain, buildTable({{"productId", "productID", nullptr, true}})};
        (*m)["CreateChannel"] = {Shape::Single, Template::Plain, buildTable({
            {"channelId", "channelID", nullptr, true},
            {"defaultPicture", "thumbnailURL", nullptr, false},
            {"tinyUrl", "tinyURL", nullptr, false},
        })};
        (*m)["GetUserChannels"] = {Shape::List, Template::Plain, buildTable({
            {"id", "channelID", nullptr, true},
            {"name", "title", nullptr, false},
            {"picture_url", "channelThumbnails", "channelThumbnailsFromString:", false},
        })};
        return m;
    }();
    return *table;
}

rt::Ref<rt::Error> mappingError(const std::string& method, const std::string& reason, const rt::Value& payload) {
    rt::Dictionary info;
    info.set(rt::Value(rt::Error::LocalizedFailureReasonKey),
             rt::Value("The response of " + method + " could not be mapped: " + reason));
    info.set(rt::Value(QXGatewayClientResponseErrorKey), payload.isNil() ? rt::Value::null() : payload);
    return gatewayErrorWithCode(static_cast<long long>(QXGatewayClientError::Mapping), info, std::nullopt);
}

// The favourites come without a payload key: their list is the envelope's "videos"
// member, or its one list member when it has no "videos".
rt::Value favouriteVideosList(const rt::Value& payload) {
    if (!payload.isDictionary()) return payload;
    const rt::Value videos = payload.dictionary().get(rt::Value("videos"));
    if (videos.isArray()) return videos;
    rt::Value found;
    int lists = 0;
    for (const auto& [key, value] : payload.dictionary().entries()) {
        if (value.isArray()) {
            found = value;
            ++lists;
        }
    }
    return lists == 1 ? found : rt::Value();
}

// The members of mapped objects that hold an address a host or the player fetches
// (pictures, streams). One in another scheme than http and https is dropped: a gateway
// must not make the client read local files. Text without a scheme is no address of
// another scheme and stays. Links that are only shown ("tinyURL") and the
// publishing address ("rtmpUrl") are no fetches and stay as sent.
bool isFetchedURLKey(const rt::Value& key) {
    if (!key.isString()) return false;
    static const char* const keys[] = {"thumbnailURL", "bannerImageURL", "profilePictureURL", "avatarURL", "contentURL",
                                       "URL"};
    for (const char* k : keys)
        if (key.string() == k) return true;
    return false;
}

struct DroppedURLs {
    std::size_t count = 0;
    std::string first;
};

rt::Value withoutUnfetchableURLs(const rt::Value& value, DroppedURLs& dropped) {
    if (value.isArray()) {
        rt::Value::Array items;
        items.reserve(value.array().size());
        for (const auto& item : value.array()) items.push_back(withoutUnfetchableURLs(item, dropped));
        return rt::Value(std::move(items));
    }
    if (!value.isDictionary()) return value;
    rt::Dictionary out;
    for (const auto& [key, member] : value.dictionary().entries()) {
        if (isFetchedURLKey(key) && member.isString() && hasNonWebScheme(member.string())) {
            if (dropped.count++ == 0) dropped.first = key.string() + " \"" + member.string() + "\"";
            continue;
        }
        out.set(key, member.isArray() || member.isDictionary() ? withoutUnfetchableURLs(member, dropped) : member);
    }
    return rt::Value(std::move(out));
}

rt::Value fetchableOnly(const rt::Value& mapped, const std::string& method) {
    DroppedURLs dropped;
    rt::Value kept = withoutUnfetchableURLs(mapped, dropped);
    if (dropped.count == 0) return mapped;
    QXLog(kQXGatewayLogModule, QXGatewayResponseSerializer::staticClass(), 2,
          "Dropped %@ URLs of the %@ response whose scheme is not http or https (first: %@)", std::to_string(dropped.count),
          method, dropped.first);
    return kept;
}

}  // namespace

bool QXGatewayResponseMapper::hasMapping(std::string_view method) {
    return mappings().count(QXGatewayDescription::shortNameForGatewayMethod(method)) > 0;
}

std::function<rt::Dictionary()> QXGatewayResponseMapper::itemWithParentChannel() {
    return [] { return makeTemplate(Template::ParentChannel); };
}

bool QXGatewayResponseMapper::performMapping(const rt::Value& map, const rt::Value& source, rt::Dictionary& target,
                                             std::vector<rt::Ref<rt::Error>>* errors) {
    registerGatewayResponseConverters();
    std::vector<rt::Ref<rt::Error>> found;
    const bool ok = KZPropertyMapper::mapValuesFrom(source, target, map, &found);
    target.remove(rt::Value("socialStreamEnabled"));
    target.remove(rt::Value("chatEnabled"));
    if (!found.empty()) {
        if (errors) *errors = std::move(found);
        return false;
    }
    return ok;
}

rt::Value::Array QXGatewayResponseMapper::mappedItemsFromItems(const rt::Value::Array& items, const rt::Value& map,
                                                               const std::function<rt::Dictionary()>& instanceBlock) {
    rt::Value::Array out;
    out.reserve(items.size());
    std::size_t dropped = 0;
    std::string firstReason;
    {
        // Broken items are reported below, once for the list, not one line each.
        KZPropertyMapper::ConsoleSilence silence;
        for (const auto& item : items) {
            if (!item.isDictionary()) {
                if (dropped++ == 0) firstReason = "an item is not an object";
                continue;
            }
            rt::Dictionary target = instanceBlock ? instanceBlock() : rt::Dictionary();
            std::vector<rt::Ref<rt::Error>> errors;
            performMapping(map, item, target, &errors);
            if (errors.empty()) {
                out.push_back(rt::Value(target));
            } else if (dropped++ == 0) {
                firstReason = errors.front()->localizedDescription();
            }
        }
    }
    if (dropped > 0)
        QXLog(kQXGatewayLogModule, QXGatewayResponseSerializer::staticClass(), 2,
              "Dropped %@ of %@ list items that could not be mapped (first: %@)", std::to_string(dropped),
              std::to_string(items.size()), firstReason);
    return out;
}

rt::Value::Array QXGatewayResponseMapper::mappedItemsFromItems(const rt::Value::Array& items, const rt::Value& map) {
    return mappedItemsFromItems(items, map, nullptr);
}

rt::Value QXGatewayResponseMapper::mappedResponse(const rt::Value& payload, std::string_view method, rt::Ref<rt::Error>* error) {
    const std::string shortName = QXGatewayDescription::shortNameForGatewayMethod(method);
    const auto it = mappings().find(shortName);
    if (it == mappings().end()) return payload;
    const MethodMapping& mapping = it->second;
    const std::string name(method);
    if (mapping.shape == Shape::List) {
        const rt::Value list = shortName == "ListFavoriteVideos" ? favouriteVideosList(payload) : payload;
        if (!list.isArray()) {
            if (error) *error = mappingError(name, "the payload is not a list", payload);
            return {};
        }
        return fetchableOnly(
            rt::Value(mappedItemsFromItems(list.array(), mapping.table, [t = mapping.templ] { return makeTemplate(t); })),
            name);
    }
    if (!payload.isDictionary()) {
        if (error) *error = mappingError(name, "the payload is not an object", payload);
        return {};
    }
    rt::Dictionary target = makeTemplate(mapping.templ);
    std::vector<rt::Ref<rt::Error>> errors;
    performMapping(mapping.table, payload, target, &errors);
    if (!errors.empty()) {
        std::string reasons;
        for (const auto& e : errors) reasons += (reasons.empty() ? "" : "; ") + e->localizedDescription();
        if (error) *error = mappingError(name, reasons, payload);
        return {};
    }
    return fetchableOnly(rt::Value(target), name);
}

}  // namespace zid
