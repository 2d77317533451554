// The keychain over a secure item store in a temporary directory.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <mutex>

#include <QXFoundation/Keychain/QXKeychain.h>
#include <QXFoundation/Log/QXLogger.h>
#include <rt/Exception.h>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using zid::QXKeychain;
using zid::QXKeychainReadStatus;

class RecordingHandler : public zid::QXLogHandler {
    RT_CLASS(RecordingHandler, zid::QXLogHandler)
public:
    RecordingHandler() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<zid::QXLogRecord>& record) override {
        std::lock_guard lock(mutex);
        if (record->module() != "ZIDoredider/QXFoundation") return;
        messages.push_back(record->message());
        levels.push_back(record->level());
    }
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::int64_t> levels;
};

class KeychainTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = rt::make<sec::ItemStore>(root / "items");
        keychain = rt::make<QXKeychain>("com.example.player", store);
        log = rt::make<RecordingHandler>();
        zid::QXLogger::defaultLogger()->registerHandler(log);
    }
    void TearDown() override {
        zid::QXLogger::defaultLogger()->deregistreHandler(log);
    }
    // Log readers match these lines exactly: the store's explanation comes in a
    // record of its own.
    bool logged(const std::string& line) { return levelOf(line) >= 0; }
    std::int64_t levelOf(const std::string& line) {
        for (std::size_t i = 0; i < log->messages.size(); ++i) {
            if (log->messages[i] == line) return log->levels[i];
        }
        return -1;
    }
    void breakStore() {
        // Something unreadable where the store's key belongs: every read fails.
        fs::remove(root / "items" / "store.key");
        fs::create_directory(root / "items" / "store.key");
    }

    zidtest::ScratchDirectory scratch{"zid-keychain"};
    fs::path root = scratch.path();
    rt::Ref<sec::ItemStore> store;
    rt::Ref<QXKeychain> keychain;
    rt::Ref<RecordingHandler> log;
};

TEST_F(KeychainTest, WritesReadsAndRemovesOneItemPerKey) {
    QXKeychainReadStatus status{};
    EXPECT_FALSE(keychain->dataForKey("k", &status));
    EXPECT_EQ(status, QXKeychainReadStatus::NotFound);
    EXPECT_TRUE(log->messages.empty()) << "an absent item is not a failure";

    EXPECT_TRUE(keychain->setObject("first", "k"));
    EXPECT_TRUE(keychain->setObject("second", "k"));
    EXPECT_EQ(keychain->objectForKey("k", &status), rt::Value("second"));
    EXPECT_EQ(status, QXKeychainReadStatus::Found);
    EXPECT_EQ(keychain->dictionaryRepresentation().size(), 1u);

    // The item is an ordinary item of the store: account and generic attribute are the key.
    sec::Item item;
    ASSERT_TRUE(store->copy({"com.example.player", "k", std::string("k")}, item).ok());

    EXPECT_TRUE(keychain->setData(rt::Data{1, 2, 3}, "raw"));
    EXPECT_EQ(keychain->dataForKey("raw"), (rt::Data{1, 2, 3}));

    EXPECT_TRUE(keychain->setObject(rt::Value(), "k"));
    EXPECT_TRUE(keychain->objectForKey("k").isNil());
    EXPECT_FALSE(keychain->removeObjectForKey("k"));
    EXPECT_EQ(levelOf("Removing failed for key: k!"), 3);
    EXPECT_FALSE(keychain->removeObjectForKey("50%@ off"));  // a key is text, never a format
    EXPECT_TRUE(logged("Removing failed for key: 50%@ off!"));

    EXPECT_THROW(keychain->setObject(rt::Value(rt::make<rt::Object>()), "obj"), rt::Exception);
}

TEST_F(KeychainTest, ServicesNeverSeeEachOthersItems) {
    auto other = rt::make<QXKeychain>("com.example.other", store);
    ASSERT_TRUE(keychain->setObject("mine", "shared-key"));
    ASSERT_TRUE(other->setObject("theirs", "shared-key"));
    ASSERT_TRUE(other->setObject(rt::Value(rt::Value::Array{1, 2}), "list"));
    EXPECT_EQ(keychain->objectForKey("shared-key"), rt::Value("mine"));
    EXPECT_EQ(other->objectForKey("shared-key"), rt::Value("theirs"));
    EXPECT_TRUE(keychain->objectForKey("list").isNil());

    auto all = other->dictionaryRepresentation();
    EXPECT_EQ(all.size(), 2u);
    EXPECT_EQ(all.get("list"), rt::Value(rt::Value::Array{1, 2}));

    other->removeAllObjects();
    EXPECT_TRUE(other->dictionaryRepresentation().empty());
    EXPECT_EQ(keychain->objectForKey("shared-key"), rt::Value("mine"));
}

TEST_F(KeychainTest, UndecodableItemsReadAsNilWithALogLine) {
    ASSERT_TRUE(keychain->setData(rt::Data{'n', 'o', 't', ' ', 'a', 'n'}, "k"));
    QXKeychainReadStatus status{};
    rt::Value value;
    EXPECT_NO_THROW(value = keychain->objectForKey("k", &status));
    EXPECT_TRUE(value.isNil());
    EXPECT_EQ(status, QXKeychainReadStatus::Unreadable);
    EXPECT_EQ(levelOf("Stored data does not represent a valid object!"), 3);
    EXPECT_TRUE(keychain->dictionaryRepresentation().empty());

    // A damaged file is unreadable too, and a write replaces it.
    for (auto& e : fs::directory_iterator(root / "items")) {
        if (e.path().extension() == ".item") fs::resize_file(e.path(), 20);
    }
    EXPECT_TRUE(keychain->objectForKey("k", &status).isNil());
    EXPECT_EQ(status, QXKeychainReadStatus::Unreadable);
    EXPECT_TRUE(logged("Fetching failed for key: k!"));
    EXPECT_TRUE(keychain->setObject("repaired", "k"));
    EXPECT_EQ(keychain->objectForKey("k"), rt::Value("repaired"));
}

TEST_F(KeychainTest, StoreFailuresAreReportedNotTakenForAbsence) {
    ASSERT_TRUE(keychain->setObject("kept", "k"));
    breakStore();
    QXKeychainReadStatus status{};
    EXPECT_TRUE(keychain->objectForKey("k", &status).isNil());
    EXPECT_EQ(status, QXKeychainReadStatus::Failed);
    EXPECT_EQ(levelOf("Fetching failed for key: k!"), 3);
    // The failing message names the place a person has to look at.
    bool named = false;
    for (const auto& m : log->messages) named |= m.find("store.key") != std::string::npos;
    EXPECT_TRUE(named);

    log->messages.clear();
    EXPECT_FALSE(keychain->setObject("new", "k"));
    EXPECT_FALSE(log->messages.empty()) << "a failed write is never silent";
    EXPECT_FALSE(keychain->setObject("new", "fresh-key"));
}

TEST_F(KeychainTest, AnEmptyKeyIsRefusedSayingAKeyIsNeeded) {
    QXKeychainReadStatus status{};
    EXPECT_FALSE(keychain->setObject("v", ""));
    EXPECT_FALSE(keychain->setData(rt::Data{1}, ""));
    EXPECT_TRUE(keychain->objectForKey("", &status).isNil());
    EXPECT_EQ(status, QXKeychainReadStatus::Failed) << "an empty key is a wrong request, not an absent item";
    EXPECT_FALSE(keychain->removeObjectForKey(""));
    EXPECT_EQ(levelOf("Storing refused: a key is needed!"), 3);
    EXPECT_EQ(levelOf("Fetching refused: a key is needed!"), 3);
    EXPECT_EQ(levelOf("Removing refused: a key is needed!"), 3);
    for (const auto& m : log->messages) {
        EXPECT_EQ(m.find("Fetching failed"), std::string::npos) << m;
        EXPECT_EQ(m.find("invalid parameter"), std::string::npos) << m;
    }
    EXPECT_TRUE(keychain->dictionaryRepresentation().empty());
}

TEST_F(KeychainTest, MigrationMovesAValueOnlyWhenTheStoreTookIt) {
    auto defaults = rt::make<fnd::UserDefaults>(root / "UserDefaults.json");
    ASSERT_TRUE(defaults->setObject("legacy", "token"));

    EXPECT_FALSE(keychain->migrateUserDefaultsObjectWithKey("absent", defaults));
    EXPECT_TRUE(keychain->objectForKey("absent").isNil());
    EXPECT_EQ(defaults->dictionaryRepresentation().size(), 1u);

    EXPECT_TRUE(keychain->migrateUserDefaultsObjectWithKey("token", defaults));
    EXPECT_EQ(keychain->objectForKey("token"), rt::Value("legacy"));
    EXPECT_TRUE(defaults->objectForKey("token").isNil());
    EXPECT_TRUE(rt::make<fnd::UserDefaults>(root / "UserDefaults.json")->objectForKey("token").isNil());

    ASSERT_TRUE(defaults->setObject("precious", "other"));
    breakStore();
    EXPECT_FALSE(keychain->migrateUserDefaultsObjectWithKey("other", defaults));
    EXPECT_EQ(defaults->objectForKey("other"), rt::Value("precious"));
}

}  // namespace
