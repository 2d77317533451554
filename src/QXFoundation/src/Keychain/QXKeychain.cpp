#include <QXFoundation/Keychain/QXKeychain.h>

#include <fnd/Directories.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>

#include <QXFoundation/Log/QXLogger.h>

namespace zid {
namespace {

constexpr std::int64_t kKeychainLogLevel = 3;
constexpr std::int64_t kDetailLevel = 4;

/// Logs the failure with its fixed message, which log readers match exactly, and the
/// store's own explanation in a record of its own right after it.
void logFailure(const rt::Class& source, const std::string& message, const sec::ItemResult& result) {
    QXLog(QXKeychain::LogModule, source, kKeychainLogLevel, "%@", message);
    std::string detail = !result.message.empty() ? result.message
                         : !result.ok()          ? std::string(sec::describe(result.status))
                                                 : std::string();
    if (!detail.empty()) QXLog(QXKeychain::LogModule, source, kDetailLevel, "Keychain store: %@", detail);
}

/// An item is found by its key: without one the store can only answer "invalid
/// parameter", which would read as a failed look-up. Says what is wrong instead.
bool refuseEmptyKey(const rt::Class& source, std::string_view key, const char* operation) {
    if (!key.empty()) return false;
    QXLog(QXKeychain::LogModule, source, kKeychainLogLevel, "%@ refused: a key is needed!", operation);
    return true;
}

}  // namespace

rt::Ref<QXKeychain> QXKeychain::defaultKeychain() {
    static const rt::Ref<QXKeychain> shared = rt::make<QXKeychain>();
    return shared;
}

QXKeychain::QXKeychain() : QXKeychain(fnd::Directories::applicationName()) {}

QXKeychain::QXKeychain(std::string serviceIdentifier, rt::Ref<sec::ItemStore> store)
    : serviceIdentifier_(std::move(serviceIdentifier)), store_(store ? std::move(store) : sec::ItemStore::shared()) {}

sec::ItemQuery QXKeychain::query(std::string_view key) const {
    return sec::ItemQuery{serviceIdentifier_, std::string(key), std::string(key)};
}

bool QXKeychain::setData(const rt::Data& data, std::string_view key) {
    if (refuseEmptyKey(staticClass(), key, "Storing")) return false;
    const sec::ItemQuery q = query(key);
    const sec::ItemResult probe = store_->find(q);
    if (probe.status == sec::ItemStatus::ItemNotFound) {
        const sec::ItemResult added = store_->add(sec::Item{q.service, q.account, *q.generic, data});
        if (added.ok()) return true;
        logFailure(staticClass(), rt::format("Adding failed for key: %@!", key), added);
        return false;
    }
    if (probe.ok() || probe.status == sec::ItemStatus::Corrupt) {
        const sec::ItemResult updated = store_->update(q, data);
        if (updated.ok()) return true;
        logFailure(staticClass(), rt::format("Updating failed for key: %@!", key), updated);
        return false;
    }
    // The store could not even tell whether the item is there: writing blind could
    // duplicate or clobber it, so report the failed look-up instead.
    logFailure(staticClass(), rt::format("Fetching failed for key: %@!", key), probe);
    return false;
}

std::optional<rt::Data> QXKeychain::dataForKey(std::string_view key, QXKeychainReadStatus* status) {
    if (refuseEmptyKey(staticClass(), key, "Fetching")) {
        if (status) *status = QXKeychainReadStatus::Failed;
        return std::nullopt;
    }
    sec::Item item;
    const sec::ItemResult r = store_->copy(query(key), item);
    if (r.ok()) {
        if (status) *status = QXKeychainReadStatus::Found;
        return std::move(item.data);
    }
    if (r.status == sec::ItemStatus::ItemNotFound) {
        if (status) *status = QXKeychainReadStatus::NotFound;
        return std::nullopt;
    }
    if (status) *status = r.status == sec::ItemStatus::Corrupt ? QXKeychainReadStatus::Unreadable : QXKeychainReadStatus::Failed;
    logFailure(staticClass(), rt::format("Fetching failed for key: %@!", key), r);
    return std::nullopt;
}

bool QXKeychain::setObject(const rt::Value& object, std::string_view key) {
    if (object.isNil()) return removeObjectForKey(key);
    return setData(fnd::KeyedArchiver::archivedData(object), key);
}

rt::Value QXKeychain::unarchive(const rt::Data& data, std::string_view key) {
    rt::Ref<rt::Error> error;
    rt::Value value = fnd::KeyedUnarchiver::unarchivedObject(data, &error);
    if (error || value.isNil()) {
        // A damaged item must not take the caller down; it reads as absent and a later
        // write replaces it.
        QXLog(LogModule, staticClass(), kKeychainLogLevel, "Stored data does not represent a valid object!");
        QXLog(LogModule, staticClass(), kDetailLevel, "Keychain store: key %@%@", key,
              error ? ": " + error->localizedDescription() : std::string());
        return {};
    }
    return value;
}

rt::Value QXKeychain::objectForKey(std::string_view key, QXKeychainReadStatus* status) {
    auto data = dataForKey(key, status);
    if (!data) return {};
    rt::Value value = unarchive(*data, key);
    if (value.isNil() && status) *status = QXKeychainReadStatus::Unreadable;
    return value;
}

bool QXKeychain::removeObjectForKey(std::string_view key) {
    if (refuseEmptyKey(staticClass(), key, "Removing")) return false;
    const sec::ItemResult r = store_->remove(query(key));
    if (r.ok()) return true;
    logFailure(staticClass(), rt::format("Removing failed for key: %@!", key), r);
    return false;
}

void QXKeychain::removeAllObjects() {
    std::vector<sec::Item> items;
    std::size_t unreadable = 0;
    const sec::ItemResult r = store_->copyAll(serviceIdentifier_, items, &unreadable);
    if (!r.ok() && r.status != sec::ItemStatus::ItemNotFound) {
        logFailure(staticClass(), "Listing failed!", r);
        return;
    }
    if (unreadable) logFailure(staticClass(), "Listing failed!", r);
    for (const auto& item : items) removeObjectForKey(item.account);
}

rt::Dictionary QXKeychain::dictionaryRepresentation() {
    rt::Dictionary out;
    std::vector<sec::Item> items;
    std::size_t unreadable = 0;
    const sec::ItemResult r = store_->copyAll(serviceIdentifier_, items, &unreadable);
    if (!r.ok() && r.status != sec::ItemStatus::ItemNotFound) {
        logFailure(staticClass(), "Listing failed!", r);
        return out;
    }
    if (unreadable) logFailure(staticClass(), "Listing failed!", r);
    for (const auto& item : items) {
        rt::Value value = unarchive(item.data, item.account);
        if (!value.isNil()) out.set(rt::Value(item.account), value);
    }
    return out;
}

bool QXKeychain::migrateUserDefaultsObjectWithKey(std::string_view key, rt::Ref<fnd::UserDefaults> defaults) {
    if (!defaults) defaults = fnd::UserDefaults::standard();
    rt::Value value = defaults->objectForKey(key);
    if (value.isNil()) return false;
    // Dropping the defaults entry before the store holds the value would lose it.
    if (!setObject(value, key)) return false;
    defaults->removeObjectForKey(key);
    return defaults->synchronize();
}

}  // namespace zid
