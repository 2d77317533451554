#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <future>
#include <thread>

#include <fnd/Queue.h>
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

TEST(HostResolver, ReportsOnTheLoopItIsGiven) {
    auto queue = fnd::Queue::serial("resolver-test");
    rt::Ref<fnd::RunLoop> loop;
    std::thread::id loopThread;
    queue->sync([&] {
        loop = fnd::RunLoop::current();
        loopThread = std::this_thread::get_id();
    });
    // A numeric address (answered without a lookup) and a name (answered by the
    // lookup thread) both come back on the given loop, not the caller's.
    for (const char* host : {"::1", "localhost"}) {
        std::promise<std::pair<std::thread::id, std::size_t>> reported;
        net::HostResolver::resolve(
            host,
            [&](const std::vector<net::SocketAddress>& found, rt::Ref<rt::Error>) {
                reported.set_value({std::this_thread::get_id(), found.size()});
            },
            loop);
        auto future = reported.get_future();
        ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready) << host;
        auto [thread, count] = future.get();
        EXPECT_EQ(thread, loopThread) << host;
        EXPECT_GE(count, 1u) << host;
    }
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
