#include <gtest/gtest.h>

#include <QXFoundation/Extensions/ErrorExtensions.h>
#include <fnd/URLRequest.h>
#include <net/Errors.h>
#include <rt/Exception.h>

using namespace zid;

TEST(ErrorExtTest, MultiErrorKeepsErrorsInOrderAndJoinsTheirDescriptions) {
    auto a = rt::Error::withDescription("A", 1, "first failed");
    auto b = rt::Error::withDescription("B", 2, "second failed");
    auto c = rt::Error::make("C", 3);
    auto multi = errorWithDomain("MultiError", 0, {a, b, c});
    EXPECT_EQ(multi->domain(), "MultiError");
    EXPECT_EQ(multi->code(), 0);
    EXPECT_EQ(multi->localizedDescription(), "first failed\nsecond failed\n" + c->localizedDescription());
    rt::Value errors = underlyingErrors(*multi);
    ASSERT_TRUE(errors.isArray());
    ASSERT_EQ(errors.array().size(), 3u);
    EXPECT_EQ(errors.array()[0].object().get(), a.get());
    EXPECT_EQ(errors.array()[2].object().get(), c.get());
    EXPECT_EQ(std::string(QXUnderlyingErrorsKey), "QXUnderlyingErrorsKey");
}

TEST(ErrorExtTest, SingleErrorStandsAloneAndPlainErrorsHaveNoUnderlyingList) {
    auto a = rt::Error::withDescription("A", 1, "only one");
    EXPECT_EQ(errorWithDomain("MultiError", 0, {a})->localizedDescription(), "only one");
    EXPECT_TRUE(underlyingErrors(*a).isNil());
}

TEST(ErrorExtTest, EmptyOrNilErrorListIsACallerMistake) {
    EXPECT_THROW(errorWithDomain("MultiError", 0, {}), rt::Exception);
    EXPECT_THROW(errorWithDomain("MultiError", 0, {rt::Error::make("A", 1), nullptr}), rt::Exception);
}

TEST(ErrorExtTest, URLErrorTestsLookAtDomainAndCode) {
    auto timeout = rt::Error::make(fnd::URLErrorDomain, -1001);
    auto lost = rt::Error::make(fnd::URLErrorDomain, -1005);
    auto offline = rt::Error::make(fnd::URLErrorDomain, -1009);
    auto otherDomain = rt::Error::make("Elsewhere", -1001);
    EXPECT_TRUE(isURLTimeoutError(*timeout));
    EXPECT_FALSE(isURLConnectionError(*timeout));
    EXPECT_TRUE(isURLConnectionError(*lost));
    EXPECT_TRUE(isURLConnectionError(*offline));
    EXPECT_FALSE(isURLTimeoutError(*offline));
    EXPECT_FALSE(isURLError(*otherDomain));
    EXPECT_FALSE(isURLTimeoutError(*otherDomain));
}

TEST(ErrorExtTest, NetworkLayerFailuresAnswerTheURLErrorTests) {
    auto timedOut = net::networkError(net::NetworkError::TimedOut, "timed out");
    auto refused = net::networkError(net::NetworkError::CannotConnect, "refused");
    auto noHost = net::networkError(net::NetworkError::CannotFindHost, "no host");
    auto tls = net::networkError(net::NetworkError::SecureConnectionFailed, "tls");
    EXPECT_TRUE(isURLError(*tls));
    EXPECT_TRUE(isURLTimeoutError(*timedOut));
    EXPECT_FALSE(isURLConnectionError(*timedOut));
    EXPECT_TRUE(isURLConnectionError(*refused));
    EXPECT_TRUE(isURLConnectionError(*noHost));
    EXPECT_FALSE(isURLConnectionError(*tls));
    EXPECT_FALSE(isURLTimeoutError(*rt::Error::make(net::kPOSIXErrorDomain, 103)));
}
