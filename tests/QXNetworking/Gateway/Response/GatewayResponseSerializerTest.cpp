// The envelope check, its errors and their precedence over the decoding's errors, and
// the text serializer.

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <vector>

#include "ScratchDirectory.h"

#include "Common/Serializers/QXTextResponseSerializer.h"
#include "Common/JSON/QXJSONSerialization.h"
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h>
#include <net/Errors.h>

using namespace zid;

namespace {

HTTPURLResponse response(const std::string& method, long status = 200, const std::string& contentType = "application/json") {
    HTTPURLResponse r;
    r.url = "https://gw.test/json.php/" + method + "/%7B%7D";
    r.statusCode = status;
    r.headers = {{"Content-Type", contentType}};
    return r;
}

struct Decoded {
    rt::Value object;
    rt::Ref<rt::Error> error;
};

Decoded decode(const std::string& method, const std::string& body, long status = 200,
               const std::string& contentType = "application/json") {
    Decoded d;
    d.object = rt::make<QXGatewayResponseSerializer>()->responseObjectForResponse(response(method, status, contentType), body, &d.error);
    return d;
}

std::string reason(const rt::Ref<rt::Error>& error) {
    return error->userInfo().get(rt::Value(rt::Error::LocalizedFailureReasonKey)).string();
}

}  // namespace

TEST(GatewayResponseSerializer, APresentPayloadIsMappedAndAMissingOneIsNamed) {
    const auto ok = decode("Quorvex.getVideoInfo", R"({"success":true,"video":{"videoId":7,"videoTitle":"T"}})");
    ASSERT_FALSE(ok.error);
    EXPECT_TRUE(ok.object.isEqual(*JSONObjectWithData(R"({"recordID":7,"title":"T","parentChannel":{}})")));

    const auto missing = decode("Quorvex.getVideoInfo", R"({"success":true})");
    EXPECT_TRUE(missing.object.isNil());
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain(), QXGatewayClientErrorDomain);
    EXPECT_EQ(missing.error->code(), 1);
    EXPECT_EQ(reason(missing.error), "Payload (video) is not present in the response");
    EXPECT_EQ(missing.error->localizedDescription(), defaultGatewayErrorText());
    EXPECT_TRUE(gatewayResponse(missing.error).isEqual(*JSONObjectWithData(R"({"success":true})")));

    // Without a payload key the whole envelope is the payload.
    const auto whole = decode("User.update", R"({"success":true,"x":1})");
    EXPECT_TRUE(whole.object.isEqual(*JSONObjectWithData(R"({"success":true,"x":1})")));
}

TEST(GatewayResponseSerializer, AFailedEnvelopeCarriesTheGatewaysMessageOrTheDefaultText) {
    const auto bare = decode("Quorvex.getEvents", R"({"success":false})");
    ASSERT_TRUE(bare.error);
    EXPECT_EQ(reason(bare.error), "Success field is false in the response");
    EXPECT_EQ(bare.error->localizedDescription(), "The service could not complete the request. Please try again later.");
    EXPECT_TRUE(gatewayResopnseErrorObject(bare.error).isNil());

    const auto told = decode("Quorvex.getEvents", R"({"success":false,"error":{"message":"Session expired","code":3}})");
    ASSERT_TRUE(told.error);
    EXPECT_EQ(told.error->localizedDescription(), "Session expired");
    EXPECT_EQ(reason(told.error), "Session expired");
    EXPECT_TRUE(gatewayResopnseErrorObject(told.error).isEqual(*JSONObjectWithData(R"({"message":"Session expired","code":3})")));

    // "success" must be true: absent or 0 is failure.
    EXPECT_TRUE(decode("Quorvex.getEvents", R"({"events":[]})").error);
    EXPECT_TRUE(decode("Quorvex.getEvents", R"({"success":0,"events":[]})").error);
}

TEST(GatewayResponseSerializer, NothingDecodedIsAnEmptyResponseAndNoObjectIsNoEnvelope) {
    const auto empty = decode("Quorvex.getEvents", "");
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->domain(), QXGatewayClientErrorDomain);
    EXPECT_EQ(gatewayResponse(empty.error).string(), "Response is empty");
    EXPECT_TRUE(gatewayResopnseErrorObject(empty.error).isNil());  // no object to read "error" from
    EXPECT_EQ(reason(empty.error), "Success field is false in the response");

    const auto notJSON = decode("Quorvex.getEvents", "<html>oops</html>", 200, "text/html");
    ASSERT_TRUE(notJSON.error);
    EXPECT_EQ(gatewayResponse(notJSON.error).string(), "Response is empty");

    for (const char* top : {R"([{"success":true}])", R"("success")", "true"}) {
        const auto d = decode("Quorvex.getEvents", top);
        ASSERT_TRUE(d.error) << top;
        EXPECT_EQ(d.error->domain(), QXGatewayClientErrorDomain) << top;
        EXPECT_EQ(d.error->code(), 1) << top;
    }
}

TEST(GatewayResponseSerializer, TheEnvelopeErrorReplacesTheDecodingsButAnAcceptableEnvelopeKeepsAStatusError) {
    // Unacceptable content type: nothing decodes, the envelope error stands.
    const auto xml = decode("Quorvex.getEvents", R"({"success":true,"events":[]})", 200, "application/xml");
    ASSERT_TRUE(xml.error);
    EXPECT_EQ(xml.error->domain(), QXGatewayClientErrorDomain);

    // A failed envelope under status 500: the gateway's error.
    const auto failed = decode("Quorvex.getEvents", R"({"success":false,"error":{"message":"down"}})", 500);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->localizedDescription(), "down");

    // An acceptable envelope under status 500: the status error, and no result.
    const auto status = decode("Quorvex.getEvents", R"({"success":true,"events":[]})", 500);
    EXPECT_TRUE(status.object.isNil());
    ASSERT_TRUE(status.error);
    EXPECT_EQ(status.error->domain(), QXResponseSerializationErrorDomain);
    EXPECT_EQ(status.error->code(), static_cast<long long>(QXResponseSerializationError::BadServerResponse));
    EXPECT_FALSE(isGatewayClientError(status.error));
    EXPECT_TRUE(gatewayResponse(status.error).isNil());

    // text/html is one of the gateway's content types.
    EXPECT_FALSE(decode("Quorvex.getEvents", R"({"success":true,"events":[]})", 200, "text/html; charset=utf-8").error);
}

TEST(GatewayErrors, BuildingAndReading) {
    auto error = gatewayErrorWithCode(7, rt::Dictionary{{rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value("old")},
                                                        {rt::Value("k"), rt::Value(1)}},
                                      std::nullopt);
    EXPECT_EQ(error->localizedDescription(), defaultGatewayErrorText());
    EXPECT_EQ(error->userInfo().get(rt::Value("k")).longLongValue(), 1);
    EXPECT_EQ(gatewayErrorWithCode(7, {}, std::string("given"))->localizedDescription(), "given");
    EXPECT_TRUE(isGatewayClientError(error));
    EXPECT_FALSE(isGatewayClientError(net::networkError(net::NetworkError::TimedOut, "late")));
    EXPECT_FALSE(isGatewayClientError(nullptr));
}

TEST(GatewayErrors, TheHostsMainBundleOverridesTheDefaultText) {
    zidtest::ScratchDirectory scratch;
    std::filesystem::create_directories(scratch / "en.lproj");
    std::ofstream(scratch / "en.lproj" / "Localizable.strings")
        << "\"networkKit.gateway.error.unknown\" = \"Host text\";\n";
    fnd::Bundle::setMainBundlePath(scratch.string());
    const std::string text = defaultGatewayErrorText();
    fnd::Bundle::setMainBundlePath("");
    EXPECT_EQ(text, "Host text");
    EXPECT_EQ(defaultGatewayErrorText(), "The service could not complete the request. Please try again later.");
}

TEST(TextResponseSerializer, DecodesInTheNamedCharsetAndRejectsOtherContentTypes) {
    auto serializer = QXTextResponseSerializer::serializer();
    HTTPURLResponse r = response("x", 200, "text/html; charset=ISO-8859-1");
    rt::Ref<rt::Error> error;
    EXPECT_EQ(serializer->responseObjectForResponse(r, "caf\xE9", &error).string(), "café");
    EXPECT_FALSE(error);

    r.headers = {{"Content-Type", "text/html"}};
    EXPECT_EQ(serializer->responseObjectForResponse(r, "caf\xC3\xA9", &error).string(), "café");
    EXPECT_TRUE(serializer->responseObjectForResponse(r, "caf\xE9", &error).isNil());  // not UTF-8
    EXPECT_TRUE(serializer->responseObjectForResponse(r, "", &error).isNil());

    r.headers = {{"Content-Type", "text/html; charset=no-such-charset"}};
    EXPECT_EQ(serializer->responseObjectForResponse(r, "plain", &error).string(), "plain");

    r.headers = {{"Content-Type", "application/json"}};
    const rt::Value json = serializer->responseObjectForResponse(r, "{}", &error);
    EXPECT_EQ(json.string(), "{}");  // still decoded ...
    ASSERT_TRUE(error);              // ... but reported
    EXPECT_EQ(error->code(), static_cast<long long>(QXResponseSerializationError::CannotDecodeContentData));

    error = nullptr;
    r = response("x", 404, "text/json");
    EXPECT_EQ(serializer->responseObjectForResponse(r, "gone", &error).string(), "gone");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(QXResponseSerializationError::BadServerResponse));
}

TEST(GatewayResponseSerializer, TheMethodIsTheComponentAfterTheBasePathHoweverDeep) {
    // A client on a deeper base URL: "json.php" is not the method, the component after it is.
    const auto serializer = rt::make<QXGatewayResponseSerializer>("/api/v2/json.php");
    HTTPURLResponse r;
    r.url = "https://gw.test/api/v2/json.php/Quorvex.getVideoInfo/%7B%22videoId%22:7%7D";
    r.statusCode = 200;
    r.headers = {{"Content-Type", "application/json"}};
    rt::Ref<rt::Error> error;
    const rt::Value video = serializer->responseObjectForResponse(r, R"({"success":true,"video":{"videoId":7}})", &error);
    ASSERT_FALSE(error) << error->description();
    EXPECT_TRUE(video.isEqual(*JSONObjectWithData(R"({"recordID":7,"parentChannel":{}})")));
    // The envelope is checked for that method: a missing payload is the gateway's error.
    serializer->responseObjectForResponse(r, R"({"success":true})", &error);
    ASSERT_TRUE(error);
    EXPECT_EQ(reason(error), "Payload (video) is not present in the response");

    EXPECT_EQ(QXGatewayDescription::gatewayMethodOfURL("https://h/json.php/A.b/%7B%7D", "/json.php"), "A.b");
    EXPECT_EQ(QXGatewayDescription::gatewayMethodOfURL("https://h/a/json.php/A.b/x/y", "/a/json.php/"), "A.b");
    EXPECT_EQ(QXGatewayDescription::gatewayMethodOfURL("https://h/A.b/%7B%7D", ""), "A.b");
    EXPECT_EQ(QXGatewayDescription::gatewayMethodOfURL("https://h/other/A.b", "/json.php"), "");
    EXPECT_EQ(QXGatewayDescription::gatewayMethodOfURL("https://h/json.php", "/json.php"), "");
}

TEST(GatewayResponseSerializer, ANonSuccessStatusWithoutAnEnvelopeKeepsItsStatusError) {
    // An outage page is the status error, with the status where a caller looks for it.
    for (const auto& [status, contentType, body] :
         std::vector<std::tuple<long, std::string, std::string>>{{502, "text/html", "<html>Bad gateway</html>"},
                                                                 {503, "text/plain", "busy"},
                                                                 {500, "application/json", ""}}) {
        const auto d = decode("Quorvex.getEvents", body, status, contentType);
        EXPECT_TRUE(d.object.isNil());
        ASSERT_TRUE(d.error) << status;
        EXPECT_EQ(d.error->domain(), QXResponseSerializationErrorDomain) << status;
        EXPECT_EQ(d.error->code(), static_cast<long long>(QXResponseSerializationError::BadServerResponse)) << status;
        EXPECT_EQ(d.error->userInfo().get(rt::Value(QXGatewayClientHTTPStatusCodeKey)).longLongValue(), status);
        EXPECT_FALSE(isGatewayClientError(d.error));
    }
    // A refusal the gateway wrote stays the gateway's error under any status.
    const auto refused = decode("Quorvex.getEvents", R"({"success":false,"error":{"message":"No"}})", 403);
    ASSERT_TRUE(refused.error);
    EXPECT_TRUE(isGatewayClientError(refused.error));
    EXPECT_EQ(refused.error->localizedDescription(), "No");
    // An acceptable envelope under a bad status: the status error, with the status too.
    const auto statusWithEnvelope = decode("Quorvex.getEvents", R"({"success":true,"events":[]})", 500);
    ASSERT_TRUE(statusWithEnvelope.error);
    EXPECT_EQ(statusWithEnvelope.error->userInfo().get(rt::Value(QXGatewayClientHTTPStatusCodeKey)).longLongValue(), 500);
    // Under a success status an empty or unreadable body is the gateway's error.
    for (const char* body : {"", "<html>ok</html>"}) {
        const auto d = decode("Quorvex.getEvents", body, 200, "text/html");
        ASSERT_TRUE(d.error) << body;
        EXPECT_TRUE(isGatewayClientError(d.error)) << body;
        EXPECT_EQ(reason(d.error), "Success field is false in the response");
    }
}
