#include <gtest/gtest.h>

#include <sys/socket.h>

#include <fnd/RunLoop.h>
#include <net/HostResolver.h>

namespace {

TEST(HostResolver, ReportsAddressesOnTheCallersLoopAndHonoursCancel) {
    auto loop = fnd::RunLoop::main();
    std::vector<net::SocketAddress> addresses;
    rt::Ref<rt::Error> error;
    bool reported = false;
    net::HostResolver::resolve("127.0.0.1", [&](const std::vector<net::SocketAddress>& found, rt::Ref<rt::Error> e) {
        addresses = found;
        error = e;
        reported = true;
    });
    EXPECT_FALSE(reported);
    ASSERT_TRUE(loop->runUntil([&] { return reported; }, 5));
    EXPECT_FALSE(error);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(net::addressFamily(addresses[0]), AF_INET);
    EXPECT_EQ(net::addressText(addresses[0]), "127.0.0.1");

    bool cancelledReported = false;
    auto resolution = net::HostResolver::resolve("::1", [&](auto&, auto) { cancelledReported = true; });
    resolution->cancel();
    loop->runFor(0.2);
    EXPECT_FALSE(cancelledReported);
}

TEST(HostResolver, FailureCarriesTheLookupError) {
    // A label longer than 63 characters fails inside the resolver, before any query.
    std::string name = std::string(70, 'a') + ".invalid";
    rt::Ref<rt::Error> error;
    auto addresses = net::HostResolver::resolveNow(name, &error);
    EXPECT_TRUE(addresses.empty());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(error->code(), static_cast<long long>(net::NetworkError::HostUnknown));
    EXPECT_TRUE(error->userInfo().get(net::kGetAddrInfoFailureKey).isNumber());
    EXPECT_NE(error->localizedDescription().find(name), std::string::npos);
}

TEST(HostResolver, AddressFamilyNeedsAWholeAddress) {
    EXPECT_EQ(net::addressFamily({}), AF_UNSPEC);
    net::SocketAddress shortAddress(8, 0);
    shortAddress[0] = AF_INET;
    EXPECT_EQ(net::addressFamily(shortAddress), AF_UNSPEC);
    EXPECT_EQ(net::addressText(shortAddress), "");
}

}  // namespace
