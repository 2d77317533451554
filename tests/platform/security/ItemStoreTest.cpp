// The secure item store on a real temporary directory.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sec/ItemStore.h>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using sec::Item;
using sec::ItemQuery;
using sec::ItemStatus;

rt::Data dataOf(std::string_view s) { return rt::Data(s.begin(), s.end()); }

class ItemStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store = rt::make<sec::ItemStore>(dir); }
    void TearDown() override {
        // A test may leave the store's directory unwritable; the scratch directory
        // must still be removable.
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
    }
    std::vector<fs::path> itemFiles() const {
        std::vector<fs::path> out;
        for (auto& e : fs::directory_iterator(dir)) {
            if (e.path().extension() == ".item") out.push_back(e.path());
        }
        return out;
    }
    static unsigned mode(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    }

    zidtest::ScratchDirectory scratch{"zid-items"};
    fs::path root = scratch.path();
    fs::path dir = root / "app" / "secure-items";
    rt::Ref<sec::ItemStore> store;
};

TEST_F(ItemStoreTest, AddCopyUpdateRemoveAndSurviveANewStoreObject) {
    Item out;
    EXPECT_EQ(store->copy({"svc", "alice"}, out).status, ItemStatus::ItemNotFound);
    EXPECT_FALSE(fs::exists(dir)) << "reading must not create anything";

    ASSERT_TRUE(store->add({"svc", "alice", "alice", dataOf("one")}).ok());
    EXPECT_EQ(store->add({"svc", "alice", "alice", dataOf("two")}).status, ItemStatus::DuplicateItem);
    ASSERT_TRUE(store->copy({"svc", "alice"}, out).ok());
    EXPECT_EQ(out.data, dataOf("one"));
    EXPECT_EQ(out.generic, "alice");

    ASSERT_TRUE(store->update({"svc", "alice", std::string("alice")}, dataOf("three")).ok());
    EXPECT_EQ(store->update({"svc", "bob"}, dataOf("x")).status, ItemStatus::ItemNotFound);
    EXPECT_EQ(itemFiles().size(), 1u) << "an update replaces the one item";

    // A restart: a new store object over the same directory reads what was written.
    auto reopened = rt::make<sec::ItemStore>(dir);
    ASSERT_TRUE(reopened->copy({"svc", "alice"}, out).ok());
    EXPECT_EQ(out.data, dataOf("three"));

    // The generic attribute takes part in matching when given.
    EXPECT_EQ(reopened->copy({"svc", "alice", std::string("other")}, out).status, ItemStatus::ItemNotFound);
    EXPECT_EQ(reopened->remove({"svc", "alice", std::string("other")}).status, ItemStatus::ItemNotFound);

    ASSERT_TRUE(reopened->remove({"svc", "alice"}).ok());
    EXPECT_EQ(reopened->remove({"svc", "alice"}).status, ItemStatus::ItemNotFound);
    EXPECT_EQ(store->copy({"svc", "alice"}, out).status, ItemStatus::ItemNotFound);
    EXPECT_EQ(store->add({"", "a", "a", {}}).status, ItemStatus::InvalidParameter);
}

TEST_F(ItemStoreTest, ServicesAreSeparateAndListingSeesOnlyItsOwn) {
    ASSERT_TRUE(store->add({"one", "key", "key", dataOf("A")}).ok());
    ASSERT_TRUE(store->add({"two", "key", "key", dataOf("B")}).ok());
    ASSERT_TRUE(store->add({"one", "other", "other", dataOf("C")}).ok());
    // Service and account are kept apart, so ("a", "bc") and ("ab", "c") are two items.
    ASSERT_TRUE(store->add({"a", "bc", "", dataOf("1")}).ok());
    ASSERT_TRUE(store->add({"ab", "c", "", dataOf("2")}).ok());

    Item out;
    ASSERT_TRUE(store->copy({"two", "key"}, out).ok());
    EXPECT_EQ(out.data, dataOf("B"));

    std::vector<Item> all;
    ASSERT_TRUE(store->copyAll("one", all).ok());
    ASSERT_EQ(all.size(), 2u);
    for (const auto& item : all) EXPECT_EQ(item.service, "one");
    EXPECT_EQ(store->copyAll("three", all).status, ItemStatus::ItemNotFound);
    EXPECT_TRUE(all.empty());
}

TEST_F(ItemStoreTest, FilesArePrivateAndHoldNoPlainText) {
    ::umask(022);
    ASSERT_TRUE(store->add({"svc", "account-name", "account-name", dataOf("very-secret-value")}).ok());
    EXPECT_EQ(mode(dir), 0700u);
    for (auto& e : fs::directory_iterator(dir)) {
        EXPECT_EQ(mode(e.path()), 0600u) << e.path();
        std::ifstream in(e.path(), std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(contents.find("very-secret-value"), std::string::npos);
        EXPECT_EQ(contents.find("account-name"), std::string::npos);
        EXPECT_EQ(e.path().filename().string().find("account"), std::string::npos);
    }
    // A directory that was left open to others is closed again on the next write.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(store->update({"svc", "account-name"}, dataOf("v2")).ok());
    EXPECT_EQ(mode(dir), 0700u);
}

TEST_F(ItemStoreTest, DamagedFilesReadAsCorruptNeverAsData) {
    ASSERT_TRUE(store->add({"svc", "a", "a", dataOf("first")}).ok());
    ASSERT_TRUE(store->add({"svc", "b", "b", dataOf("second")}).ok());
    auto files = itemFiles();
    ASSERT_EQ(files.size(), 2u);
    Item out;

    // One flipped byte.
    const fs::path victim = files[0];
    {
        std::fstream f(victim, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(20);
        char c;
        f.seekg(20);
        f.get(c);
        f.seekp(20);
        f.put(static_cast<char>(c ^ 0x40));
    }
    int corrupt = 0;
    for (const char* account : {"a", "b"}) {
        auto r = store->copy({"svc", account}, out);
        if (r.status == ItemStatus::Corrupt) {
            ++corrupt;
            EXPECT_NE(r.message.find(victim.filename().string()), std::string::npos) << r.message;
        } else {
            EXPECT_TRUE(r.ok());
        }
    }
    EXPECT_EQ(corrupt, 1);

    // Listing leaves the damaged item out, counts it and names it.
    std::vector<Item> all;
    std::size_t unreadable = 0;
    auto listed = store->copyAll("svc", all, &unreadable);
    EXPECT_TRUE(listed.ok());
    EXPECT_EQ(all.size(), 1u);
    EXPECT_EQ(unreadable, 1u);
    EXPECT_NE(listed.message.find(victim.filename().string()), std::string::npos);

    // Swapping two item files (each valid on its own) is caught: items are bound to their names.
    ASSERT_TRUE(store->update({"svc", "a"}, dataOf("first")).ok());
    ASSERT_TRUE(store->update({"svc", "b"}, dataOf("second")).ok());
    fs::rename(files[0], root / "tmp");
    fs::rename(files[1], files[0]);
    fs::rename(root / "tmp", files[1]);
    EXPECT_EQ(store->copy({"svc", "a"}, out).status, ItemStatus::Corrupt);
    EXPECT_EQ(store->copy({"svc", "b"}, out).status, ItemStatus::Corrupt);

    // A corrupt item can still be replaced and removed.
    ASSERT_TRUE(store->update({"svc", "a"}, dataOf("fresh")).ok());
    ASSERT_TRUE(store->copy({"svc", "a"}, out).ok());
    EXPECT_EQ(out.data, dataOf("fresh"));
    EXPECT_TRUE(store->remove({"svc", "b"}).ok());
}

TEST_F(ItemStoreTest, KeyFileProblemsAreFailuresNotAbsence) {
    ASSERT_TRUE(store->add({"svc", "a", "a", dataOf("x")}).ok());
    const fs::path key = dir / "store.key";
    ASSERT_TRUE(fs::exists(key));
    Item out;

    // A truncated key is never silently replaced by a new one.
    fs::resize_file(key, 10);
    auto r = store->copy({"svc", "a"}, out);
    EXPECT_EQ(r.status, ItemStatus::Corrupt);
    EXPECT_NE(r.message.find("store.key"), std::string::npos);
    EXPECT_FALSE(store->add({"svc", "b", "b", dataOf("y")}).ok());
    EXPECT_EQ(fs::file_size(key), 10u);

    // A missing key makes existing items unreadable, but not absent.
    fs::remove(key);
    EXPECT_EQ(store->copy({"svc", "a"}, out).status, ItemStatus::Corrupt);
}

TEST_F(ItemStoreTest, UnreadableKeyIsAnIOErrorNotAbsence) {
    ASSERT_TRUE(store->add({"svc", "a", "a", dataOf("x")}).ok());
    // Something that cannot be read as a file where the key belongs (permission bits
    // would not stop a test run as the superuser).
    fs::remove(dir / "store.key");
    fs::create_directory(dir / "store.key");
    Item out;
    auto r = store->copy({"svc", "a"}, out);
    EXPECT_EQ(r.status, ItemStatus::IOError);
    EXPECT_NE(r.message.find("store.key"), std::string::npos) << r.message;
    EXPECT_EQ(store->add({"svc", "b", "b", dataOf("y")}).status, ItemStatus::IOError);
}

TEST_F(ItemStoreTest, ConcurrentFirstWritesAgreeOnOneKeyAndOneItem) {
    std::vector<std::thread> threads;
    std::atomic<int> added{0}, duplicates{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            auto own = rt::make<sec::ItemStore>(dir);  // separate objects: no shared lock
            auto r = own->add({"svc", "same", "same", dataOf("v" + std::to_string(i))});
            if (r.ok()) ++added;
            else if (r.status == ItemStatus::DuplicateItem) ++duplicates;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(added.load(), 1);
    EXPECT_EQ(duplicates.load(), 7);
    Item out;
    EXPECT_TRUE(store->copy({"svc", "same"}, out).ok());
}

}  // namespace
