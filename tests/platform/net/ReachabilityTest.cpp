#include <gtest/gtest.h>

#include <net/if_arp.h>

#include <fnd/RunLoop.h>
#include <net/Reachability.h>

#include "NetNamespace.h"

namespace {

using net::Reachability;
using Status = Reachability::Status;

TEST(Reachability, ClassifiesInterfacesByNameAndLinkType) {
    EXPECT_EQ(Reachability::classify("eth0", ARPHRD_ETHER), Status::ReachableViaWiFi);
    EXPECT_EQ(Reachability::classify("wlan0", ARPHRD_ETHER), Status::ReachableViaWiFi);
    EXPECT_EQ(Reachability::classify("wwan0", ARPHRD_ETHER), Status::ReachableViaCellular);
    EXPECT_EQ(Reachability::classify("rmnet_data0", ARPHRD_ETHER), Status::ReachableViaCellular);
    EXPECT_EQ(Reachability::classify("modem", ARPHRD_PPP), Status::ReachableViaCellular);
    EXPECT_EQ(Reachability::classify("modem", 519 /* raw IP */), Status::ReachableViaCellular);
}

TEST(Reachability, FollowsTheDefaultRouteInsideANamespace) {
    zidtest::NetNamespace ns("reach");
    if (!ns.available()) GTEST_SKIP() << "Skipped: " << ns.failure();

    auto reachability = rt::make<Reachability>();
    std::vector<Status> changes;
    reachability->setChangeHandler([&](Status status) { changes.push_back(status); });
    ASSERT_TRUE(ns.enter());
    rt::Ref<rt::Error> error;
    bool started = reachability->start(&error);
    ns.leave();
    ASSERT_TRUE(started) << error->description();
    EXPECT_EQ(reachability->status(), Status::NotReachable);  // a fresh namespace has no route out
    EXPECT_TRUE(changes.empty());

    auto loop = fnd::RunLoop::main();
    auto waitFor = [&](Status status) {
        return loop->runUntil([&] { return reachability->status() == status; }, 5);
    };

    ASSERT_TRUE(ns.ip("link add veth0 type veth peer name veth1"));
    ASSERT_TRUE(ns.ip("link set veth1 up"));
    ASSERT_TRUE(ns.ip("link set veth0 up"));
    ASSERT_TRUE(ns.ip("route add default dev veth0"));
    ASSERT_TRUE(waitFor(Status::ReachableViaWiFi));
    EXPECT_EQ(reachability->interfaceName(), "veth0");

    ASSERT_TRUE(ns.ip("route del default dev veth0"));
    ASSERT_TRUE(waitFor(Status::NotReachable));
    EXPECT_EQ(reachability->interfaceName(), "");

    ASSERT_TRUE(ns.ip("link add wwan0 type veth peer name wwan1"));
    ASSERT_TRUE(ns.ip("link set wwan1 up"));
    ASSERT_TRUE(ns.ip("link set wwan0 up"));
    ASSERT_TRUE(ns.ip("route add default dev wwan0 metric 50"));
    ASSERT_TRUE(waitFor(Status::ReachableViaCellular));

    // A local network beats the cellular one, whatever the metrics.
    ASSERT_TRUE(ns.ip("route add default dev veth0 metric 100"));
    ASSERT_TRUE(waitFor(Status::ReachableViaWiFi));

    // Losing the carrier makes a route unusable.
    ASSERT_TRUE(ns.ip("link set veth1 down"));
    ASSERT_TRUE(waitFor(Status::ReachableViaCellular));
    EXPECT_EQ(reachability->interfaceName(), "wwan0");

    loop->runFor(0.2);  // late messages of the same changes must not report again
    EXPECT_EQ(changes, (std::vector<Status>{Status::ReachableViaWiFi, Status::NotReachable,
                                            Status::ReachableViaCellular, Status::ReachableViaWiFi,
                                            Status::ReachableViaCellular}));

    // Once stopped, nothing more is reported.
    reachability->stop();
    ASSERT_TRUE(ns.ip("link set wwan0 down"));
    loop->runFor(0.2);
    EXPECT_EQ(changes.size(), 5u);
}

}  // namespace
