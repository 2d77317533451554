#pragma once
// The secure item store: small secrets of the application (generic-password items)
// kept on disk, encrypted.
//
// An item belongs to a service and is named by an account within it; it also carries a
// generic attribute and its secret bytes. The store is a directory of mode 0700 holding
// one file per item (mode 0600, named by a digest of service and account so that the
// names give nothing away) and a key file of its own. Each item file is sealed with
// AES-256-GCM under that key, bound to its file name, so a changed, truncated or moved
// file reads as Corrupt instead of as someone else's secret. Every write replaces a
// file atomically. The operations of one store object are serialised by a lock; two
// processes writing the same item end with one of the two values.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace sec {

enum class ItemStatus {
    Success,
    ItemNotFound,       ///< no such item: not a failure of the store
    DuplicateItem,      ///< add() of an item that is already there
    Corrupt,            ///< the item's file exists but cannot be opened with the store's key
    IOError,            ///< the directory, the key file or an item file could not be read or written
    InvalidParameter,   ///< an empty service or account
};

/// A readable name of the status ("item not found", ...).
const char* describe(ItemStatus status);

struct Item {
    std::string service;
    std::string account;
    std::string generic;
    rt::Data data;
};

/// What an item operation matches: the service and account name the item, and when a
/// generic attribute is given it must match too.
struct ItemQuery {
    std::string service;
    std::string account;
    std::optional<std::string> generic;
};

/// The outcome of an operation: a status, and for failures a message a person can act
/// on (which file, what the system said).
struct ItemResult {
    ItemStatus status = ItemStatus::Success;
    std::string message;
    bool ok() const { return status == ItemStatus::Success; }
};

class ItemStore : public rt::Object {
    RT_CLASS(ItemStore, rt::Object)
public:
    /// The store in "secure-items" below the application data directory (its place is
    /// fixed when first asked for).
    static rt::Ref<ItemStore> shared();
    /// "secure-items" below the application's Library directory, as it is now.
    static std::filesystem::path defaultDirectory();

    explicit ItemStore(std::filesystem::path directory);
    const std::filesystem::path& directory() const { return directory_; }

    /// Adds a new item; DuplicateItem when service and account already name one.
    ItemResult add(const Item& item);
    /// Replaces the data of the matching item; ItemNotFound when there is none. A
    /// Corrupt item is replaced too: its old contents are lost already.
    ItemResult update(const ItemQuery& query, const rt::Data& data);
    /// Reads the matching item into out.
    ItemResult copy(const ItemQuery& query, Item& out);
    /// Whether the matching item is there, without handing out its data.
    ItemResult find(const ItemQuery& query);
    /// Every readable item of the service, in file-name order (stable, not meaningful).
    /// ItemNotFound when the service has none. Items that cannot be opened are left out
    /// and counted in unreadable; the message names them.
    ItemResult copyAll(const std::string& service, std::vector<Item>& out, std::size_t* unreadable = nullptr);
    /// Deletes the matching item; ItemNotFound when there is none.
    ItemResult remove(const ItemQuery& query);

private:
    std::filesystem::path itemPath(const std::string& service, const std::string& account) const;
    ItemResult loadKey(bool create, rt::Data& key);
    ItemResult readItem(const std::filesystem::path& path, const rt::Data& key, Item& out) const;
    ItemResult sealItem(const Item& item, const std::filesystem::path& path, const rt::Data& key, rt::Data& out) const;
    ItemResult sealWithStoreKey(const Item& item, const std::filesystem::path& path, rt::Data& out);
    ItemResult prepareDirectory();
    ItemResult copyLocked(const ItemQuery& query, Item& out);

    std::filesystem::path directory_;
    std::mutex mutex_;
};

}  // namespace sec
