#pragma once
// A small key-value store over the secure item store: each key is one generic-password
// item of one service (account and generic attribute both the key), holding raw bytes
// or a keyed archive of an object.
//
// Failures of the store are logged (level 3) and answered with nothing or false; the
// read calls can also tell the caller whether an absent answer means "no item" or "the
// store could not be read", so that a passing failure is never mistaken for absence.

#include <optional>
#include <string>
#include <string_view>

#include <fnd/UserDefaults.h>
#include <rt/Object.h>
#include <rt/Value.h>
#include <sec/ItemStore.h>

namespace zid {

/// What a read found.
enum class QXKeychainReadStatus {
    Found,       ///< the item is there and was decoded
    NotFound,    ///< there is no item under the key
    Unreadable,  ///< an item is there but cannot be opened or decoded; a write replaces it
    Failed,      ///< the store itself could not be read; nothing is known about the item
};

class QXKeychain : public rt::Object {
    RT_CLASS(QXKeychain, rt::Object)
public:
    static constexpr const char* LogModule = "ZIDoredider/QXFoundation";

    /// The shared store of the application's own service, made once (thread-safe).
    static rt::Ref<QXKeychain> defaultKeychain();

    /// A store for the application's own service (its bundle identifier: the
    /// application name here) over the shared secure item store.
    QXKeychain();
    /// A store for the service over the given secure item store (the shared one when null).
    explicit QXKeychain(std::string serviceIdentifier, rt::Ref<sec::ItemStore> store = nullptr);

    const std::string& serviceIdentifier() const { return serviceIdentifier_; }
    void setServiceIdentifier(std::string serviceIdentifier) { serviceIdentifier_ = std::move(serviceIdentifier); }
    const rt::Ref<sec::ItemStore>& store() const { return store_; }

    /// Creates or replaces the item's bytes. False (and logged) when the store refused.
    bool setData(const rt::Data& data, std::string_view key);
    /// The item's bytes, or nothing. The status tells why there is nothing.
    std::optional<rt::Data> dataForKey(std::string_view key, QXKeychainReadStatus* status = nullptr);

    /// Archives the value and stores it; nil removes the item. A value that cannot be
    /// archived raises InvalidArgumentException.
    bool setObject(const rt::Value& object, std::string_view key);
    /// The unarchived value, or nil: no item, an unreadable item, or bytes that are not
    /// an archive (logged as "Stored data does not represent a valid object!").
    rt::Value objectForKey(std::string_view key, QXKeychainReadStatus* status = nullptr);
    /// Deletes the item; a missing item is logged as a failed removal.
    bool removeObjectForKey(std::string_view key);
    /// Deletes every item of the service that can be listed.
    void removeAllObjects();
    /// Account to unarchived value for every readable item of the service.
    rt::Dictionary dictionaryRepresentation();

    /// Moves one value from the user defaults (the standard ones when null) into the
    /// store. The defaults entry is removed only once the store holds the value.
    bool migrateUserDefaultsObjectWithKey(std::string_view key, rt::Ref<fnd::UserDefaults> defaults = nullptr);

private:
    sec::ItemQuery query(std::string_view key) const;
    rt::Value unarchive(const rt::Data& data, std::string_view key);

    std::string serviceIdentifier_;
    rt::Ref<sec::ItemStore> store_;
};

}  // namespace zid
