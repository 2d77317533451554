// The device stand-in: machine names, the vendor identifier, the radio link.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <dev/Device.h>
#include <dev/TelephonyNetworkInfo.h>
#include <fnd/NotificationCenter.h>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

class DeviceTest : public ::testing::Test {
protected:
    zidtest::ScratchDirectory scratch{"zid-device"};
    fs::path root = scratch.path();
    fs::path file = root / "app" / "vendor-identifier";
};

TEST_F(DeviceTest, NamesComeFromTheMachine) {
    auto device = rt::make<dev::Device>(file);
    EXPECT_EQ(device->systemName(), "Linux");
    EXPECT_FALSE(device->model().empty());
    EXPECT_FALSE(device->systemVersion().empty());
    EXPECT_FALSE(device->userInterfaceIdiom()) << "no idiom until the host declares one";
    device->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
    EXPECT_EQ(device->userInterfaceIdiom(), dev::UserInterfaceIdiom::Pad);
}

TEST_F(DeviceTest, VendorIdentifierIsKeptAcrossRuns) {
    auto first = rt::make<dev::Device>(file)->identifierForVendor();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 36u);
    // A new process: a new device object over the same file.
    EXPECT_EQ(rt::make<dev::Device>(file)->identifierForVendor(), first);
    // Another application (another file) has its own.
    EXPECT_NE(rt::make<dev::Device>(root / "other" / "vendor-identifier")->identifierForVendor(), first);
}

TEST_F(DeviceTest, ConcurrentFirstCallsAgreeOnOneIdentifier) {
    // A first call that found no file must not take the file another call published
    // meanwhile for damage and replace it: many rounds, so the window is met.
    for (int round = 0; round < 40; ++round) {
        const auto place = root / ("round-" + std::to_string(round)) / "vendor-identifier";
        std::vector<std::optional<std::string>> seen(8);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            threads.emplace_back([&, i] { seen[i] = rt::make<dev::Device>(place)->identifierForVendor(); });
        }
        for (auto& t : threads) t.join();
        std::set<std::optional<std::string>> distinct(seen.begin(), seen.end());
        ASSERT_EQ(distinct.size(), 1u) << "round " << round;
        EXPECT_TRUE(*distinct.begin());
        EXPECT_EQ(rt::make<dev::Device>(place)->identifierForVendor(), *distinct.begin()) << "the file holds the one answered";
    }
}

TEST_F(DeviceTest, DamagedIdentifierFileIsReplacedAndUnwritablePlaceGivesNothing) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "garbage";
    auto id = rt::make<dev::Device>(file)->identifierForVendor();
    ASSERT_TRUE(id);
    EXPECT_EQ(rt::make<dev::Device>(file)->identifierForVendor(), id);

    std::ofstream(root / "blocker") << "a file where a directory should be";
    auto device = rt::make<dev::Device>(root / "blocker" / "vendor-identifier");
    EXPECT_FALSE(device->identifierForVendor()) << "an identifier that cannot be kept is not handed out";
}

TEST(TelephonyNetworkInfoTest, NoRadioUntilAHostReportsOne) {
    auto info = rt::make<dev::TelephonyNetworkInfo>();
    EXPECT_FALSE(info->currentRadioAccessTechnology());
    int posts = 0;
    auto token = fnd::NotificationCenter::defaultCenter()->addObserver(
        std::string(dev::RadioAccessTechnologyDidChangeNotification), nullptr, nullptr,
        [&](const rt::Ref<fnd::Notification>&) { ++posts; });
    dev::TelephonyNetworkInfo::reportRadioAccessTechnology(std::string(dev::RadioAccessTechnologyLTE));
    dev::TelephonyNetworkInfo::reportRadioAccessTechnology(std::string(dev::RadioAccessTechnologyLTE));
    EXPECT_EQ(info->currentRadioAccessTechnology(), dev::RadioAccessTechnologyLTE);
    dev::TelephonyNetworkInfo::reportRadioAccessTechnology(std::nullopt);
    EXPECT_EQ(posts, 2) << "only changes are announced";
    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
}

}  // namespace
