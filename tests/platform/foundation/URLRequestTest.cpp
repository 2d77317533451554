#include <gtest/gtest.h>

#include <fnd/URLRequest.h>

TEST(URLRequestTest, HeaderFieldsKeepTheirOrderAndCompareWithoutCase) {
    auto r = rt::make<fnd::URLRequest>("https://example.test/a");
    EXPECT_EQ(r->httpMethod(), "GET");
    r->setValueForHTTPHeaderField("text/plain", "Accept");
    r->setValueForHTTPHeaderField("abc", "X-Token");
    r->setValueForHTTPHeaderField("application/json", "accept");
    r->addValueForHTTPHeaderField("gzip", "Accept-Encoding");
    r->addValueForHTTPHeaderField("br", "accept-encoding");
    ASSERT_EQ(r->allHTTPHeaderFields().size(), 3u);
    EXPECT_EQ(r->allHTTPHeaderFields()[0], (std::pair<std::string, std::string>{"Accept", "application/json"}));
    EXPECT_EQ(r->valueForHTTPHeaderField("ACCEPT-ENCODING"), "gzip, br");
    r->setValueForHTTPHeaderField(std::nullopt, "x-token");
    EXPECT_FALSE(r->valueForHTTPHeaderField("X-Token"));
    EXPECT_EQ(r->allHTTPHeaderFields().size(), 2u);
}
