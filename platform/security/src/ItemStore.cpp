#include <sec/ItemStore.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fnd/Directories.h>
#include <sec/Cipher.h>
#include <sec/Digest.h>
#include <sec/Random.h>

#include "PrivateFiles.h"

namespace sec {
namespace {

constexpr char kMagic[4] = {'Z', 'S', 'I', '1'};
constexpr const char* kKeyFile = "store.key";
constexpr const char* kItemSuffix = ".item";
constexpr std::size_t kKeySize = 32;
constexpr std::size_t kMaxItemFile = 16u << 20;  // far above any secret; a guard against reading a huge file

ItemResult failure(ItemStatus status, std::string message) { return ItemResult{status, std::move(message)}; }

ItemResult ioFailure(const std::string& what, const std::filesystem::path& path) {
    return failure(ItemStatus::IOError, what + " " + path.string() + ": " + std::strerror(errno));
}

/// Reads a whole regular file. ENOENT is reported through errno with a false result.
bool readFile(const std::filesystem::path& path, rt::Data& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxItemFile) {
        ::close(fd);
        errno = EINVAL;  // not something this store wrote
        return false;
    }
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    int saved = errno;
    ::close(fd);
    if (got != out.size()) {
        errno = saved ? saved : EIO;
        return false;
    }
    return true;
}

/// Writes a new file that must not exist yet: a private temporary file linked into
/// place, so the target appears whole or not at all. EEXIST when it is there already.
bool createFileExclusively(const std::filesystem::path& path, const rt::Data& bytes) {
    std::string tmpl = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::link(tmpl.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    ::unlink(tmpl.c_str());
    errno = saved;
    return ok;
}

void putField(rt::Data& out, std::string_view bytes) {
    const auto n = static_cast<std::uint32_t>(bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(n >> shift));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

bool takeField(const rt::Data& in, std::size_t& pos, std::string& out) {
    if (in.size() - pos < 4) return false;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n = (n << 8) | in[pos + i];
    pos += 4;
    if (in.size() - pos < n) return false;
    out.assign(reinterpret_cast<const char*>(in.data() + pos), n);
    pos += n;
    return true;
}

rt::Data associatedData(const std::filesystem::path& path) {
    rt::Data aad(kMagic, kMagic + sizeof kMagic);
    const std::string name = path.filename().string();
    aad.insert(aad.end(), name.begin(), name.end());
    return aad;
}

bool validQuery(const std::string& service, const std::string& account) { return !service.empty() && !account.empty(); }

}  // namespace

const char* describe(ItemStatus status) {
    switch (status) {
        case ItemStatus::Success: return "success";
        case ItemStatus::ItemNotFound: return "item not found";
        case ItemStatus::DuplicateItem: return "duplicate item";
        case ItemStatus::Corrupt: return "item cannot be opened";
        case ItemStatus::IOError: return "input/output error";
        case ItemStatus::InvalidParameter: return "invalid parameter";
    }
    return "unknown status";
}

std::filesystem::path ItemStore::defaultDirectory() { return std::filesystem::path(fnd::Directories::library()) / "secure-items"; }

rt::Ref<ItemStore> ItemStore::shared() {
    static const rt::Ref<ItemStore> store = rt::make<ItemStore>(defaultDirectory());
    return store;
}

ItemStore::ItemStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::filesystem::path ItemStore::itemPath(const std::string& service, const std::string& account) const {
    std::string joined = service;
    joined.push_back('\0');  // service "a" + account "bc" differs from "ab" + "c"
    joined += account;
    return directory_ / (toHex(sha256(joined)) + kItemSuffix);
}

ItemResult ItemStore::prepareDirectory() {
    if (!detail::createPrivateDirectory(directory_)) return ioFailure("cannot create the private directory", directory_);
    return {};
}

ItemResult ItemStore::loadKey(bool create, rt::Data& key) {
    const auto path = directory_ / kKeyFile;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (readFile(path, key)) {
            if (key.size() != kKeySize) {
                // Never replace a damaged key: that would turn every item unreadable for good.
                return failure(ItemStatus::Corrupt, "the key file " + path.string() + " is damaged (" +
                                                        std::to_string(key.size()) + " bytes instead of 32)");
            }
            return {};
        }
        if (errno != ENOENT) return ioFailure("cannot read the key file", path);
        if (!create) return failure(ItemStatus::ItemNotFound, "no key file " + path.string());
        if (auto r = prepareDirectory(); !r.ok()) return r;
        auto fresh = randomData(kKeySize);
        if (!fresh) return failure(ItemStatus::IOError, "the system's random source failed");
        if (createFileExclusively(path, *fresh)) {
            key = std::move(*fresh);
            return {};
        }
        if (errno != EEXIST) return ioFailure("cannot create the key file", path);
        // Someone else made the key in the meantime: read theirs.
    }
    return failure(ItemStatus::IOError, "cannot settle the key file " + path.string());
}

ItemResult ItemStore::readItem(const std::filesystem::path& path, const rt::Data& key, Item& out) const {
    rt::Data bytes;
    if (!readFile(path, bytes)) {
        if (errno == ENOENT) return failure(ItemStatus::ItemNotFound, {});
        if (errno == EINVAL) return failure(ItemStatus::Corrupt, path.string() + " is not an item file");
        return ioFailure("cannot read the item", path);
    }
    if (bytes.size() < sizeof kMagic || !std::equal(kMagic, kMagic + sizeof kMagic, bytes.begin())) {
        return failure(ItemStatus::Corrupt, path.string() + " is not an item file");
    }
    rt::Data sealed(bytes.begin() + sizeof kMagic, bytes.end());
    auto plain = openAES256GCM(key, sealed, associatedData(path));
    if (!plain) return failure(ItemStatus::Corrupt, path.string() + " fails its integrity check");
    std::size_t pos = 0;
    std::string data;
    if (!takeField(*plain, pos, out.service) || !takeField(*plain, pos, out.account) ||
        !takeField(*plain, pos, out.generic) || !takeField(*plain, pos, data) || pos != plain->size()) {
        return failure(ItemStatus::Corrupt, path.string() + " holds a malformed item");
    }
    out.data.assign(data.begin(), data.end());
    return {};
}

ItemResult ItemStore::sealItem(const Item& item, const std::filesystem::path& path, const rt::Data& key,
                               rt::Data& out) const {
    rt::Data plain;
    plain.reserve(16 + item.service.size() + item.account.size() + item.generic.size() + item.data.size());
    putField(plain, item.service);
    putField(plain, item.account);
    putField(plain, item.generic);
    putField(plain, std::string_view(reinterpret_cast<const char*>(item.data.data()), item.data.size()));
    auto sealed = sealAES256GCM(key, plain, associatedData(path));
    std::fill(plain.begin(), plain.end(), 0);
    if (!sealed) return failure(ItemStatus::IOError, "sealing the item failed (random source or cipher library)");
    out.assign(kMagic, kMagic + sizeof kMagic);
    out.insert(out.end(), sealed->begin(), sealed->end());
    return {};
}

/// Seals an item for writing with the store's key, making the folder and the key on first use.
ItemResult ItemStore::sealWithStoreKey(const Item& item, const std::filesystem::path& path, rt::Data& out) {
    if (auto r = prepareDirectory(); !r.ok()) return r;
    rt::Data key;
    if (auto r = loadKey(true, key); !r.ok()) return r;
    return sealItem(item, path, key, out);
}

ItemResult ItemStore::copyLocked(const ItemQuery& query, Item& out) {
    if (!validQuery(query.service, query.account)) {
        return failure(ItemStatus::InvalidParameter, "an item needs a service and an account");
    }
    const auto path = itemPath(query.service, query.account);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return failure(ItemStatus::ItemNotFound, {});
        return ioFailure("cannot look at the item", path);
    }
    rt::Data key;
    if (auto r = loadKey(false, key); !r.ok()) {
        if (r.status == ItemStatus::ItemNotFound) {
            return failure(ItemStatus::Corrupt, path.string() + " cannot be opened: the store's key file is missing");
        }
        return r;
    }
    Item item;
    if (auto r = readItem(path, key, item); !r.ok()) return r;
    if (item.service != query.service || item.account != query.account) {
        return failure(ItemStatus::Corrupt, path.string() + " holds another item than its name says");
    }
    if (query.generic && *query.generic != item.generic) return failure(ItemStatus::ItemNotFound, {});
    out = std::move(item);
    return {};
}

ItemResult ItemStore::add(const Item& item) {
    std::lock_guard lock(mutex_);
    if (!validQuery(item.service, item.account)) {
        return failure(ItemStatus::InvalidParameter, "an item needs a service and an account");
    }
    const auto path = itemPath(item.service, item.account);
    rt::Data file;
    if (auto r = sealWithStoreKey(item, path, file); !r.ok()) return r;
    if (!createFileExclusively(path, file)) {
        if (errno == EEXIST) return failure(ItemStatus::DuplicateItem, "the item is already there");
        return ioFailure("cannot write the item", path);
    }
    return {};
}

ItemResult ItemStore::update(const ItemQuery& query, const rt::Data& data) {
    std::lock_guard lock(mutex_);
    Item item;
    ItemResult found = copyLocked(query, item);
    if (found.status == ItemStatus::Corrupt) {
        item = Item{query.service, query.account, query.generic.value_or(query.account), {}};
    } else if (!found.ok()) {
        return found;
    }
    item.data = data;
    const auto path = itemPath(item.service, item.account);
    rt::Data file;
    if (auto r = sealWithStoreKey(item, path, file); !r.ok()) return r;
    if (!detail::writePrivateFileAtomically(path, file.data(), file.size())) return ioFailure("cannot write the item", path);
    return {};
}

ItemResult ItemStore::copy(const ItemQuery& query, Item& out) {
    std::lock_guard lock(mutex_);
    return copyLocked(query, out);
}

ItemResult ItemStore::find(const ItemQuery& query) {
    Item ignored;
    return copy(query, ignored);
}

ItemResult ItemStore::copyAll(const std::string& service, std::vector<Item>& out, std::size_t* unreadable) {
    std::lock_guard lock(mutex_);
    out.clear();
    if (unreadable) *unreadable = 0;
    if (service.empty()) return failure(ItemStatus::InvalidParameter, "a listing needs a service");
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        const auto& p = it->path();
        if (p.extension() == kItemSuffix && p.filename().string().front() != '.') files.push_back(p);
    }
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) return failure(ItemStatus::ItemNotFound, {});
        return failure(ItemStatus::IOError, "cannot list " + directory_.string() + ": " + ec.message());
    }
    std::sort(files.begin(), files.end());
    std::string skipped;
    std::size_t skippedCount = 0;
    rt::Data key;
    ItemResult keyResult = files.empty() ? ItemResult{} : loadKey(false, key);
    if (!keyResult.ok() && keyResult.status != ItemStatus::ItemNotFound && keyResult.status != ItemStatus::Corrupt) {
        return keyResult;
    }
    for (const auto& path : files) {
        Item item;
        ItemResult r = keyResult.ok() ? readItem(path, key, item) : ItemResult{ItemStatus::Corrupt, {}};
        if (r.status == ItemStatus::ItemNotFound) continue;  // removed while we looked
        if (r.status == ItemStatus::IOError) return r;
        if (!r.ok() || itemPath(item.service, item.account) != path) {
            ++skippedCount;
            skipped += (skipped.empty() ? "" : ", ") + path.filename().string();
            continue;
        }
        if (item.service == service) out.push_back(std::move(item));
    }
    if (unreadable) *unreadable = skippedCount;
    ItemResult result;
    if (out.empty()) result.status = ItemStatus::ItemNotFound;
    if (skippedCount) result.message = "unreadable items left out: " + skipped;
    return result;
}

ItemResult ItemStore::remove(const ItemQuery& query) {
    std::lock_guard lock(mutex_);
    if (!validQuery(query.service, query.account)) {
        return failure(ItemStatus::InvalidParameter, "an item needs a service and an account");
    }
    if (query.generic) {
        Item item;
        ItemResult r = copyLocked(query, item);
        if (!r.ok() && r.status != ItemStatus::Corrupt) return r;  // an unreadable item may still be removed
    }
    const auto path = itemPath(query.service, query.account);
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return failure(ItemStatus::ItemNotFound, {});
        return ioFailure("cannot remove the item", path);
    }
    return {};
}

}  // namespace sec
