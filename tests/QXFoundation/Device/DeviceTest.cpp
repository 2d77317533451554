// Device identity, type and connectivity over stores in a temporary directory.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <QXFoundation/Device/DeviceConnectivity.h>
#include <QXFoundation/Device/DeviceIdentification.h>
#include <QXFoundation/Device/DeviceType.h>
#include <dev/TelephonyNetworkInfo.h>
#include <fnd/NotificationCenter.h>
#include <sec/Digest.h>

#include "ScratchDirectory.h"

#include "VirtualTime.h"

namespace {

namespace fs = std::filesystem;
using zid::QXDeviceIdentity;

/// One "run" of the application: fresh objects over the same files.
struct AppRun {
    rt::Ref<dev::Device> device;
    rt::Ref<sec::ItemStore> store;
    rt::Ref<zid::QXKeychain> keychain;
    rt::Ref<fnd::UserDefaults> defaults;
    rt::Ref<QXDeviceIdentity> identity;
};

class DeviceIdentityTest : public ::testing::Test {
protected:
    void SetUp() override { QXDeviceIdentity::setRpinSalt({}); }
    void TearDown() override { QXDeviceIdentity::setRpinSalt({}); }
    AppRun start() {
        AppRun run;
        run.device = rt::make<dev::Device>(root / "vendor-identifier");
        run.store = rt::make<sec::ItemStore>(root / "secure-items");
        run.keychain = rt::make<zid::QXKeychain>("com.example.host", run.store);
        run.defaults = rt::make<fnd::UserDefaults>(root / "UserDefaults.json");
        run.identity = rt::make<QXDeviceIdentity>(run.device, run.keychain, run.defaults);
        return run;
    }
    static bool isPin(const std::string& pin) {
        if (pin.size() != 42 || pin.rfind("0.", 0) != 0) return false;
        return pin.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
    }

    zidtest::ScratchDirectory scratch{"zid-identity"};
    fs::path root = scratch.path();
};

TEST_F(DeviceIdentityTest, FirstRunTakesTheVendorIdentifierAndLaterRunsKeepIt) {
    AppRun first = start();
    auto id = first.identity->deviceIdentifier();
    ASSERT_TRUE(id);
    EXPECT_EQ(id, first.device->identifierForVendor());
    EXPECT_EQ(first.keychain->objectForKey(QXDeviceIdentity::IdentifierKey), rt::Value(*id));
    auto pin = first.identity->rpin();
    ASSERT_TRUE(pin);
    EXPECT_TRUE(isPin(*pin)) << *pin;
    EXPECT_FALSE(fs::exists(root / "UserDefaults.json")) << "the user defaults are only read, never written";

    // A restart, with a vendor identifier that changed meanwhile: the keychain wins.
    fs::remove(root / "vendor-identifier");
    AppRun second = start();
    EXPECT_EQ(second.identity->deviceIdentifier(), id);
    EXPECT_EQ(second.identity->rpin(), pin);
    EXPECT_NE(second.device->identifierForVendor(), id);
}

TEST_F(DeviceIdentityTest, ValuesOfOlderInstallationsAreTakenFromUserDefaults) {
    AppRun run = start();
    ASSERT_TRUE(run.defaults->setObject("LEGACY-ID", QXDeviceIdentity::IdentifierKey));
    ASSERT_TRUE(run.defaults->setObject("0.legacy-pin", QXDeviceIdentity::RpinKey));
    EXPECT_EQ(run.identity->deviceIdentifier(), "LEGACY-ID");
    EXPECT_EQ(run.identity->rpin(), "0.legacy-pin");
    EXPECT_EQ(run.keychain->objectForKey(QXDeviceIdentity::IdentifierKey), rt::Value("LEGACY-ID"));
    EXPECT_EQ(run.keychain->objectForKey(QXDeviceIdentity::RpinKey), rt::Value("0.legacy-pin"));
    EXPECT_EQ(run.defaults->objectForKey(QXDeviceIdentity::IdentifierKey), rt::Value("LEGACY-ID"));
}

TEST_F(DeviceIdentityTest, AStoreThatCannotBeReadNeverLeadsToANewIdentifier) {
    AppRun run = start();
    auto id = run.identity->deviceIdentifier();
    auto pin = run.identity->rpin();
    ASSERT_TRUE(id && pin);

    // The store's key becomes unreadable for a while.
    const fs::path key = root / "secure-items" / "store.key";
    fs::rename(key, root / "key.saved");
    fs::create_directory(key);
    AppRun during = start();
    EXPECT_FALSE(during.identity->deviceIdentifier());
    EXPECT_FALSE(during.identity->rpin());

    fs::remove(key);
    fs::rename(root / "key.saved", key);
    AppRun after = start();
    EXPECT_EQ(after.identity->deviceIdentifier(), id);
    EXPECT_EQ(after.identity->rpin(), pin);
}

TEST_F(DeviceIdentityTest, AnUnreadableItemIsReplacedLikeAMissingOne) {
    AppRun run = start();
    ASSERT_TRUE(run.keychain->setData(rt::Data{'x'}, QXDeviceIdentity::IdentifierKey));
    auto id = run.identity->deviceIdentifier();
    EXPECT_EQ(id, run.device->identifierForVendor());
    EXPECT_EQ(start().identity->deviceIdentifier(), id);
}

TEST_F(DeviceIdentityTest, ConcurrentFirstCallsGetOneIdentifierAndOnePin) {
    AppRun run = start();
    std::vector<std::optional<std::string>> ids(8), pins(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        threads.emplace_back([&, i] {
            if (i % 2) pins[i] = run.identity->rpin();
            ids[i] = run.identity->deviceIdentifier();
            if (!(i % 2)) pins[i] = run.identity->rpin();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(std::set<std::optional<std::string>>(ids.begin(), ids.end()).size(), 1u);
    EXPECT_EQ(std::set<std::optional<std::string>>(pins.begin(), pins.end()).size(), 1u);
    EXPECT_TRUE(ids[0]);
    EXPECT_EQ(start().identity->deviceIdentifier(), ids[0]);
}

TEST_F(DeviceIdentityTest, PinDigestsTheRawSaltBytesAndTheIdentifier) {
    rt::Data salt(64);
    for (std::size_t i = 0; i < salt.size(); ++i) salt[i] = static_cast<std::uint8_t>(0x80 + i * 3);  // mostly above 0x7F
    QXDeviceIdentity::setRpinSalt(salt);

    AppRun run = start();
    ASSERT_TRUE(run.identity->setDeviceIdentifier(std::string("DEVICE-A")));
    auto pinA = run.identity->generateRpin();
    ASSERT_TRUE(pinA);
    rt::Data input = salt;
    for (char c : std::string("DEVICE-A")) input.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(*pinA, "0." + sec::toHex(sec::sha1(input)));

    // Devices differ, and so does the salt's every byte.
    ASSERT_TRUE(run.identity->setDeviceIdentifier(std::string("DEVICE-B")));
    EXPECT_NE(run.identity->generateRpin(), pinA);
    salt[63] ^= 1;
    QXDeviceIdentity::setRpinSalt(salt);
    ASSERT_TRUE(run.identity->setDeviceIdentifier(std::string("DEVICE-A")));
    EXPECT_NE(run.identity->generateRpin(), pinA);
    EXPECT_FALSE(run.keychain->objectForKey(QXDeviceIdentity::RpinKey)) << "generating stores nothing";

    // Without an identifier there is no pin (rather than the pin of the salt alone).
    auto lost = rt::make<QXDeviceIdentity>(rt::make<dev::Device>(root / "blocked" / "x"), run.keychain, run.defaults);
    std::ofstream(root / "blocked") << "file";
    ASSERT_TRUE(run.keychain->removeObjectForKey(QXDeviceIdentity::IdentifierKey));
    EXPECT_FALSE(lost->deviceIdentifier());
    EXPECT_FALSE(lost->rpin());
}

TEST(DeviceTypeTest, MachineNamesMapToTypesAndGraphicsClasses) {
    EXPECT_EQ(zid::deviceTypeForMachine("iPhone1,1"), 2);
    EXPECT_EQ(zid::deviceTypeForMachine("iPhone3,1"), 5);
    EXPECT_EQ(zid::gpuTypeForDeviceType(5), 1);
    for (const char* name : {"iPhone4,1", "iPhone4,9", "iPhone4,"}) {
        EXPECT_EQ(zid::deviceTypeForMachine(name), 6) << name;
    }
    EXPECT_EQ(zid::gpuTypeForDeviceType(6), 2);
    EXPECT_EQ(zid::deviceTypeForMachine("iPad2,2"), 11);
    EXPECT_EQ(zid::gpuTypeForDeviceType(11), 2);
    EXPECT_EQ(zid::deviceTypeForMachine("i386"), 1);
    EXPECT_EQ(zid::gpuTypeForDeviceType(1), 0);
    for (const char* name : {"iPhone3,2", "iPhone4", "iPhone1,1x", "x86_64", ""}) {
        EXPECT_EQ(zid::deviceTypeForMachine(name), 0) << name;
    }
    for (int t : {0, 7, 8, 9, 10}) EXPECT_EQ(zid::gpuTypeForDeviceType(t), 0);

    auto device = dev::Device::current();
    EXPECT_STREQ(zid::utsname(device).sysname, "Linux");
    EXPECT_EQ(zid::deviceType(device), zid::deviceTypeForMachine(device->model()));
}

TEST(DeviceTypeTest, IdiomTests) {
    auto device = rt::make<dev::Device>("/nonexistent/vendor-identifier");
    EXPECT_TRUE(zid::isIPhone(device));
    EXPECT_FALSE(zid::isIPad(device));
    device->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
    EXPECT_FALSE(zid::isIPhone(device));
    EXPECT_TRUE(zid::isIPad(device));
    device->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Phone);
    EXPECT_TRUE(zid::isIPhone(device));
    EXPECT_FALSE(zid::isIPad(device));
}

class DeviceConnectivityTest : public zidtest::VirtualTimeTest {};

TEST_F(DeviceConnectivityTest, RadioTechnologyFollowsChangesOnTheMainQueue) {
    auto device = rt::make<dev::Device>("/nonexistent/vendor-identifier");
    EXPECT_FALSE(zid::radioAccessTechnology(device));
    dev::TelephonyNetworkInfo::reportRadioAccessTechnology(std::string(dev::RadioAccessTechnologyEdge));
    EXPECT_FALSE(zid::radioAccessTechnology(device)) << "stored on the main queue, not inline";
    drain();
    EXPECT_EQ(zid::radioAccessTechnology(device), dev::RadioAccessTechnologyEdge);
    dev::TelephonyNetworkInfo::reportRadioAccessTechnology(std::nullopt);
    drain();
    EXPECT_FALSE(zid::radioAccessTechnology(device));
}

TEST_F(DeviceConnectivityTest, NetworkStatusIsStoredAndUpdatedFromChanges) {
    auto device = rt::make<dev::Device>("/nonexistent/vendor-identifier");
    const int status = zid::networkStatus(device);
    EXPECT_GE(status, 0);
    EXPECT_LE(status, 2);
    EXPECT_EQ(zid::reachability(device), zid::reachability(device));
    zid::setNetworkStatus(device, 7);  // anything but what the reachability says
    fnd::NotificationCenter::defaultCenter()->post(zid::kReachabilityChangedNotification, zid::reachability(device));
    EXPECT_EQ(zid::networkStatus(device), static_cast<int>(zid::reachability(device)->status()));
}

}  // namespace
