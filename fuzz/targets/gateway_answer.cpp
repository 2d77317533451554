// Gateway answers come from the network. Input: one byte choosing the method (every
// method with a mapping, and one without), one byte choosing the status and the content
// type, then the body.
//
// Whatever the body, the serializer answers a value or an error, never both; an
// envelope the check refuses never reaches the mapping; a list method's answer is a
// list no longer than the payload's (items are left out, never made up); and decoding
// the same answer twice gives the same value.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <QXNetworking/Common/Session/HTTPResponseSerializer.h>
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseMapper.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h>

#include "FuzzInput.h"

namespace {

// The methods by their full names; the last has no mapping and no description.
const char* const kMethods[] = {
    "Quorvex.searchUpcoming",      "Quorvex.searchBroadcast",        "Quorvex.searchRecorded",
    "Quorvex.getUserVideos",       "Quorvex.searchMedia",            "Quorvex.getShowProfile",
    "Quorvex.getVideoInfo",        "Quorvex.getEventProfile",        "Quorvex.loginMobile",
    "Quorvex.loginMobileByEmail",  "Quorvex.getChannelsBySessionId", "Quorvex.listFollowedChannels",
    "Quorvex.listFavoriteVideos",  "Quorvex.listFollowedUpcoming",   "Quorvex.getAllByUser",
    "Quorvex.getUpcomingFeatured", "Quorvex.getEvents",              "Quorvex.sendStatusUpdate",
    "Quorvex.getUserBenefits",     "Quorvex.getServer",              "Quorvex.getProductList",
    "Quorvex.createChannel",       "Quorvex.getUserChannels",        "Quorvex.userVideos",
    "Quorvex.noSuchMethod",
};
constexpr std::size_t kMethodCount = sizeof kMethods / sizeof kMethods[0];

const long kStatuses[] = {200, 204, 404, 500};
const char* const kContentTypes[] = {"application/json; charset=utf-8", "text/html", "text/plain"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto serializer = rt::make<zid::QXGatewayResponseSerializer>();
    static const auto decoder = rt::make<zid::JSONResponseSerializer>();
    zidfuzz::FuzzInput input(data, size);
    const std::string method = kMethods[input.byte() % kMethodCount];
    const std::uint8_t kind = input.byte();
    const std::string_view bodyView = input.rest();
    const std::string body(bodyView);
    input.reached();

    zid::HTTPURLResponse response;
    response.url = "https://gateway.media.test/json.php/" + method;
    response.statusCode = kStatuses[kind % 4];
    response.headers.emplace_back("Content-Type", kContentTypes[(kind / 4) % 3]);

    rt::Ref<rt::Error> error;
    const rt::Value answer = serializer->responseObjectForResponse(response, body, &error);
    if (error && !answer.isNil()) std::abort();
    if (error && error->domain().empty()) std::abort();

    // The same answer decodes the same way again.
    rt::Ref<rt::Error> again;
    const rt::Value second = serializer->responseObjectForResponse(response, body, &again);
    if (!(second == answer) || !again != !error) std::abort();
    if (error && (error->domain() != again->domain() || error->code() != again->code())) std::abort();

    // What the envelope check refuses is an error of the gateway's domain.
    zid::HTTPURLResponse plain = response;
    plain.statusCode = 200;
    plain.headers = {{"Content-Type", "application/json"}};
    rt::Ref<rt::Error> decoding;
    const rt::Value object = decoder->responseObjectForResponse(plain, body, &decoding);
    rt::Ref<rt::Error> refusal;
    if (!zid::QXGatewayResponseSerializer::validateResponseObject(object, method, &refusal)) {
        if (!refusal || !zid::isGatewayClientError(refusal)) std::abort();
        if (!answer.isNil()) std::abort();
        return 0;
    }
    if (refusal) std::abort();
    if (response.statusCode != 200 || response.headers[0].second == std::string("text/plain") || error) return 0;

    // A list method's items are mapped or left out, never made up.
    const auto payloadKey = zid::QXGatewayDescription::payloadKeyForGatewayMethod(method);
    const rt::Value payload = payloadKey ? object.dictionary().get(rt::Value(*payloadKey)) : object;
    if (payload.isArray() && answer.isArray() && method != "Quorvex.listFavoriteVideos" &&
        answer.array().size() > payload.array().size())
        std::abort();
    if (!zid::QXGatewayResponseMapper::hasMapping(zid::QXGatewayDescription::shortNameForGatewayMethod(method)) &&
        !(answer == payload))
        std::abort();
    return 0;
}
