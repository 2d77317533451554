// Key-value observing.
//
// An observation of "a.b.c" on a root object is a tree of watches. A watch follows
// one key of one object: it sits in that object's observation table under the key,
// owns the watches of the key paths the key depends on, and owns the watch of the
// rest of the path on the key's current value, which it moves when the value is
// replaced. Every watch reports will/did notices to the observation's core, which
// reads the old and new values of the whole path from the root and calls the
// observer.
//
// Tables keep watches weakly, so a table never keeps an observation alive; notices
// take a snapshot of the table under its lock and call out without it.

#include <rt/MainThread.h>
#include <rt/KVO.h>
#include <rt/Key.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <new>
#include <mutex>
#include <thread>

#include <rt/Exception.h>
#include <rt/PropertyTable.h>

namespace rt {

namespace {

class Core;
class Watch;
using detail::KeyListener;

std::atomic<std::uint64_t> nextOrder{1};

std::vector<std::string> splitPath(std::string_view keyPath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        auto dot = keyPath.find('.', start);
        parts.emplace_back(keyPath.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts;
}

// The watches to tell about one notice, copied out of a table. Most keys have few
// observers; those fit without allocating.
class Snapshot {
public:
    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        for (std::size_t i = 0; i < std::min(count_, Small); ++i) at(i).~shared_ptr();
    }
    void push(std::shared_ptr<KeyListener> w) {
        if (count_ < Small) new (&small_[count_ * sizeof(Entry)]) Entry(std::move(w));
        else more_.push_back(std::move(w));
        ++count_;
    }
    template <class F> void each(F&& f) {
        for (std::size_t i = 0; i < count_; ++i) f(i < Small ? at(i) : more_[i - Small]);
    }

private:
    using Entry = std::shared_ptr<KeyListener>;
    static constexpr std::size_t Small = 8;
    Entry& at(std::size_t i) { return *std::launder(reinterpret_cast<Entry*>(&small_[i * sizeof(Entry)])); }
    // Only the entries pushed are built and destroyed.
    alignas(Entry) unsigned char small_[Small * sizeof(Entry)];
    std::vector<Entry> more_;
    std::size_t count_ = 0;
};

class ObservationTable final : public Object::Slot {
public:
    struct Entry {
        std::uint64_t order;
        const KeyListener* raw;
        std::weak_ptr<KeyListener> watch;
    };
    struct KeyEntries {
        bool automatic = true;
        std::vector<Entry> entries;
    };

    static ObservationTable* of(const Object& object) { return static_cast<ObservationTable*>(object.observationSlot()); }
    static ObservationTable& ensure(Object& object) {
        return *static_cast<ObservationTable*>(
            object.ensureObservationSlot([] { return std::unique_ptr<Object::Slot>(new ObservationTable()); }));
    }

    /// Answers false when the object is already past its pre-destruction step.
    bool add(const Object& owner, std::string_view key, std::uint64_t order, const std::shared_ptr<KeyListener>& watch) {
        bool automatic = !isManualKey(owner.objectClass(), key);
        std::lock_guard lock(mutex_);
        if (destroyed_) return false;
        auto it = keys_.find(key);
        if (it == keys_.end()) {
            it = keys_.emplace(std::string(key), KeyEntries{}).first;
            it->second.automatic = automatic;
        }
        auto& entries = it->second.entries;
        auto at = std::upper_bound(entries.begin(), entries.end(), order,
                                   [](std::uint64_t o, const Entry& e) { return o < e.order; });
        entries.insert(at, Entry{order, watch.get(), watch});
        return true;
    }

    void remove(std::string_view key, const KeyListener* watch) {
        std::lock_guard lock(mutex_);
        auto it = keys_.find(key);
        if (it == keys_.end()) return;
        auto& entries = it->second.entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.raw == watch; }),
                      entries.end());
        if (entries.empty()) keys_.erase(it);
    }

    bool announcesAutomatically(std::string_view key) {
        std::lock_guard lock(mutex_);
        auto it = keys_.find(key);
        return it != keys_.end() && it->second.automatic && !it->second.entries.empty();
    }

    void collect(std::string_view key, Snapshot& out) {
        std::lock_guard lock(mutex_);
        auto it = keys_.find(key);
        if (it == keys_.end()) return;
        for (const auto& e : it->second.entries)
            if (auto w = e.watch.lock()) out.push(std::move(w));
    }

    /// Like collect, but only when key is announced automatically; answers whether it was.
    bool collectAutomatic(std::string_view key, Snapshot& out) {
        std::lock_guard lock(mutex_);
        auto it = keys_.find(key);
        if (it == keys_.end() || !it->second.automatic || it->second.entries.empty()) return false;
        for (const auto& e : it->second.entries)
            if (auto w = e.watch.lock()) out.push(std::move(w));
        return true;
    }

    void objectWillDestroy(Object&) override;

private:
    std::mutex mutex_;
    std::map<std::string, KeyEntries, std::less<>> keys_;
    bool destroyed_ = false;
};

// The part of an observation that the watches report to; it outlives the token while
// a notice is being delivered.
class Core : public std::enable_shared_from_this<Core> {
public:
    Core(const Ref<Object>& root, std::string keyPath, unsigned options, std::function<void(const KVOChange&)> observer)
        : root_(root.get()), rootWeak_(root), keyPath_(std::move(keyPath)), options_(options),
          observer_(std::move(observer)), order_(nextOrder.fetch_add(1, std::memory_order_relaxed)) {
        for (std::size_t start = 0;;) {
            auto dot = keyPath_.find('.', start);
            segments_.push_back(Segment{start, (dot == std::string::npos ? keyPath_.size() : dot) - start});
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        cached_ = std::make_unique<std::atomic<const CachedProperty*>[]>(segments_.size());
    }

    void start();
    void end();
    bool isActive() const { return active_.load(std::memory_order_acquire); }
    std::uint64_t order() const { return order_; }
    const Object* root() const { return root_; }

    void willChange();
    void didChange();

private:
    Value currentValue() {
        if (auto root = rootWeak_.lock()) return read(*root);
        // The root is in its pre-destruction step (its weak references are empty) but
        // whole until its table ends this observation, so it can still be read.
        if (isActive()) return read(*root_);
        return Value();
    }

    // Each key of the path reads through the property found the last time for it, as
    // long as the object's class and the property tables are the same: no lookups by
    // name, no lock. A link that is no object (a dictionary, an array) hands the rest
    // of the path to the general walk. Entries are immutable and kept until the core
    // goes.
    struct CachedProperty {
        const Class* cls;
        std::uint64_t generation;
        const Property* property;
    };
    struct Segment {
        std::size_t start, length;
    };
    const Property* propertyOf(std::size_t index, const Class* cls, std::string_view key) {
        std::uint64_t generation = propertyGeneration();
        const CachedProperty* cached = cached_[index].load(std::memory_order_acquire);
        if (!cached || cached->cls != cls || cached->generation != generation) {
            auto fresh = std::make_unique<CachedProperty>(CachedProperty{cls, generation, findProperty(*cls, key)});
            cached = fresh.get();
            std::lock_guard lock(mutex_);
            cachedEntries_.push_back(std::move(fresh));
            cached_[index].store(cached, std::memory_order_release);
        }
        return cached->property;
    }
    Value read(const Object& root) {
        std::string_view path = keyPath_;
        const Object* object = &root;
        Value value;
        for (std::size_t i = 0;; ++i) {
            std::string_view key = path.substr(segments_[i].start, segments_[i].length);
            const Property* property = propertyOf(i, &object->objectClass(), key);
            // The value read keeps the next object alive while it is read in turn.
            value = property && property->getter ? property->getter(*object)
                                                 : detail::valueForKeyOnAnyThread(*object, key);
            if (i + 1 == segments_.size()) return value;
            if (value.isNil()) return Value();
            if (!value.isObject()) return valueForKeyPath(value, path.substr(segments_[i + 1].start));
            object = value.object().get();
        }
    }

    Object* root_;
    Weak<Object> rootWeak_;
    std::string keyPath_;
    unsigned options_;
    std::function<void(const KVOChange&)> observer_;  // never reset: it may be running
    std::uint64_t order_;
    std::vector<Segment> segments_;
    std::atomic<bool> active_{false};
    std::mutex mutex_;
    std::shared_ptr<Watch> tree_;
    std::unique_ptr<std::atomic<const CachedProperty*>[]> cached_;  // one per segment
    std::vector<std::unique_ptr<CachedProperty>> cachedEntries_;
    // Old values captured by will notices, per thread, until the matching did.
    std::vector<std::pair<std::thread::id, Value>> pending_;
};

class Watch final : public KeyListener, public std::enable_shared_from_this<Watch> {
public:
    Watch(const std::shared_ptr<Core>& core, std::weak_ptr<const Watch> parent, const Ref<Object>& object, std::string key,
          std::vector<std::string> rest)
        : core_(core), parent_(std::move(parent)), object_(object.get()), objectWeak_(object), key_(std::move(key)),
          rest_(std::move(rest)) {}

    // Registers with the object, then builds the dependent and the deeper watches.
    void attach(const std::shared_ptr<Core>& core);
    // Leaves the object's table (when the object is still there) and drops the children.
    void detach();

    void willChange() override {
        if (!attached_.load(std::memory_order_acquire)) return;
        if (auto core = core_.lock()) core->willChange();
    }
    void didChange() override {
        if (!attached_.load(std::memory_order_acquire)) return;
        auto core = core_.lock();
        if (!core) return;
        retarget(core);
        core->didChange();
    }
    // The object is in its last pre-destruction step.
    void objectGone() override;

private:
    // True when a watch of key on object is already among this watch's ancestors: a
    // declared dependency cycle, which would otherwise never end.
    bool dependsOnItself(const Object* object, std::string_view key) const {
        int depth = 0;
        for (auto w = shared_from_this(); w; w = w->parent_.lock()) {
            if ((w->object_ == object && w->key_ == key) || ++depth > 64) return true;
        }
        return false;
    }
    std::shared_ptr<Watch> makeNext(const std::shared_ptr<Core>& core, const Value& value);
    void retarget(const std::shared_ptr<Core>& core);

    std::weak_ptr<Core> core_;
    std::weak_ptr<const Watch> parent_;
    Object* object_;
    Weak<Object> objectWeak_;
    std::string key_;
    std::vector<std::string> rest_;
    std::atomic<bool> attached_{false};
    std::mutex mutex_;
    std::shared_ptr<Watch> next_;
    std::vector<std::shared_ptr<Watch>> dependents_;
};

// ---- ObservationTable ---------------------------------------------------------------

void ObservationTable::objectWillDestroy(Object&) {
    std::map<std::string, KeyEntries, std::less<>> keys;
    {
        std::lock_guard lock(mutex_);
        destroyed_ = true;
        keys.swap(keys_);
    }
    for (auto& [key, entries] : keys)
        for (auto& e : entries.entries)
            if (auto watch = e.watch.lock()) watch->objectGone();
}

// ---- Watch --------------------------------------------------------------------------

void Watch::attach(const std::shared_ptr<Core>& core) {
    auto self = shared_from_this();
    auto object = objectWeak_.lock();
    if (!object || !ObservationTable::ensure(*object).add(*object, key_, core->order(), self)) return;
    attached_.store(true, std::memory_order_release);

    // Children are stored as soon as they are made, so that a getter raising half way
    // leaves nothing registered once the observation is ended.
    for (const auto& path : affectingKeyPaths(object->objectClass(), key_)) {
        auto parts = splitPath(path);
        if (dependsOnItself(object.get(), parts[0])) continue;
        std::string first = std::move(parts.front());
        parts.erase(parts.begin());
        auto w = std::make_shared<Watch>(core, self, object, std::move(first), std::move(parts));
        {
            std::lock_guard lock(mutex_);
            dependents_.push_back(w);
        }
        w->attach(core);
    }
    if (!rest_.empty()) {
        auto next = makeNext(core, detail::valueForKeyOnAnyThread(*object, key_));
        std::lock_guard lock(mutex_);
        next_ = std::move(next);
    }
}

std::shared_ptr<Watch> Watch::makeNext(const std::shared_ptr<Core>& core, const Value& value) {
    auto object = value.isObject() ? value.object() : nullptr;
    if (!object) return nullptr;  // nil, or a plain value that changes only through this key
    std::vector<std::string> rest(rest_.begin() + 1, rest_.end());
    auto w = std::make_shared<Watch>(core, shared_from_this(), object, rest_.front(), std::move(rest));
    try {
        w->attach(core);
    } catch (...) {
        w->detach();
        throw;
    }
    return w;
}

void Watch::retarget(const std::shared_ptr<Core>& core) {
    if (rest_.empty()) return;
    Value value = detail::valueForKeyOnAnyThread(*object_, key_);
    {
        std::lock_guard lock(mutex_);
        if (next_ && value.isObject() && next_->object_ == value.object().get()) return;  // still the same object
        if (!next_ && !value.isObject()) return;
    }
    auto next = makeNext(core, value);
    std::shared_ptr<Watch> old;
    {
        std::lock_guard lock(mutex_);
        if (attached_.load(std::memory_order_acquire)) {
            old = std::move(next_);
            next_ = std::move(next);
        } else {
            old = std::move(next);  // ended meanwhile: the new watch must not stay registered
        }
    }
    if (old) old->detach();
}

void Watch::detach() {
    attached_.store(false, std::memory_order_release);
    std::shared_ptr<Watch> next;
    std::vector<std::shared_ptr<Watch>> dependents;
    {
        std::lock_guard lock(mutex_);
        next = std::move(next_);
        dependents = std::move(dependents_);
    }
    if (auto object = objectWeak_.lock()) {
        if (auto* table = ObservationTable::of(*object)) table->remove(key_, this);
    }
    // An object whose weak references are empty is being destroyed: its table ends
    // with it and holds this watch only weakly.
    if (next) next->detach();
    for (auto& d : dependents) d->detach();
}

void Watch::objectGone() {
    auto core = core_.lock();
    if (core && object_ == core->root()) {
        core->end();
        return;
    }
    // An intermediate object went away: the part of the path behind it is gone too.
    detach();
}

// ---- Core ---------------------------------------------------------------------------

void Core::start() {
    auto self = shared_from_this();
    auto root = rootWeak_.lock();
    if (!root) return;
    auto parts = splitPath(keyPath_);
    std::string first = std::move(parts.front());
    parts.erase(parts.begin());
    auto tree = std::make_shared<Watch>(self, std::weak_ptr<const Watch>(), root, std::move(first), std::move(parts));
    {
        std::lock_guard lock(mutex_);
        tree_ = tree;
    }
    active_.store(true, std::memory_order_release);
    try {
        tree->attach(self);
        if (options_ & KVOInitial) {
            KVOChange change;
            change.object = root_;
            change.keyPath = keyPath_;
            change.isInitial = true;
            if (options_ & KVONew) change.newValue = currentValue();
            observer_(change);
        }
    } catch (...) {
        end();
        throw;
    }
}

void Core::end() {
    if (!active_.exchange(false, std::memory_order_acq_rel)) return;
    std::shared_ptr<Watch> tree;
    {
        std::lock_guard lock(mutex_);
        tree = std::move(tree_);
        pending_.clear();
    }
    if (tree) tree->detach();
}

// Callers hold the core, so it stays while the observer runs even when the token is
// dropped inside it.
void Core::willChange() {
    // Without the old value or a prior report a will notice has nothing to keep.
    if (!(options_ & (KVOOld | KVOPrior)) || !isActive()) return;
    Value old;
    if (options_ & (KVOOld | KVOPrior)) old = currentValue();
    {
        std::lock_guard lock(mutex_);
        pending_.emplace_back(std::this_thread::get_id(), old);
    }
    if (options_ & KVOPrior) {
        KVOChange change;
        change.object = root_;
        change.keyPath = keyPath_;
        change.isPrior = true;
        if (options_ & KVOOld) change.oldValue = std::move(old);
        observer_(change);
    }
}

void Core::didChange() {
    if (!isActive()) return;
    KVOChange change;
    change.object = root_;
    change.keyPath = keyPath_;
    if (options_ & (KVOOld | KVOPrior)) {
        std::lock_guard lock(mutex_);
        auto me = std::this_thread::get_id();
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
            if (it->first == me) {
                if (options_ & KVOOld) change.oldValue = std::move(it->second);
                pending_.erase(std::next(it).base());
                break;
            }
        }
    }
    if (options_ & KVONew) change.newValue = currentValue();
    observer_(change);
}

// ---- the token ----------------------------------------------------------------------

class ObservationToken final : public Observation {
    RT_CLASS(ObservationToken, Observation)
public:
    explicit ObservationToken(std::shared_ptr<Core> core) : core_(std::move(core)) {}
    void remove() override { core_->end(); }
    bool isActive() const override { return core_->isActive(); }

protected:
    void willDestroy() override {
        core_->end();
        Observation::willDestroy();
    }

private:
    std::shared_ptr<Core> core_;
};

void notify(Object& object, std::string_view key, bool will) {
    auto* table = ObservationTable::of(object);
    if (!table) return;
    Snapshot snapshot;
    table->collect(key, snapshot);
    snapshot.each([will](const std::shared_ptr<KeyListener>& watch) {
        if (will) watch->willChange();
        else watch->didChange();
    });
}

}  // namespace

namespace detail {
bool announcesAutomatically(Object& object, std::string_view key) {
    auto* table = ObservationTable::of(object);
    return table && table->announcesAutomatically(key);
}

// The typed setters' notices: one snapshot serves the will and the did, so a watch
// added by an observer during the will is not told a did without its will.
void announceChange(Object& object, std::string_view key, void (*change)(void*), void* context) {
    auto* table = ObservationTable::of(object);
    Snapshot snapshot;
    if (!table || !table->collectAutomatic(key, snapshot)) {
        change(context);
        return;
    }
    snapshot.each([](const std::shared_ptr<KeyListener>& l) { l->willChange(); });
    change(context);
    snapshot.each([](const std::shared_ptr<KeyListener>& l) { l->didChange(); });
}

void announceAlways(Object& object, std::string_view key, void (*change)(void*), void* context) {
    auto* table = ObservationTable::of(object);
    Snapshot snapshot;
    if (table) table->collect(key, snapshot);
    snapshot.each([](const std::shared_ptr<KeyListener>& l) { l->willChange(); });
    change(context);
    snapshot.each([](const std::shared_ptr<KeyListener>& l) { l->didChange(); });
}

std::uint64_t nextObservationOrder() { return nextOrder.fetch_add(1, std::memory_order_relaxed); }

bool addKeyListener(Object& target, std::string_view key, std::uint64_t order, const std::shared_ptr<KeyListener>& listener) {
    return ObservationTable::ensure(target).add(target, key, order, listener);
}

void removeKeyListener(Object& target, std::string_view key, const KeyListener* listener) {
    if (auto* table = ObservationTable::of(target)) table->remove(key, listener);
}

namespace {
// The observations an object owns: they end in its pre-destruction step.
class OwnedObservations final : public Object::Slot {
public:
    static const char tag;
    void add(std::shared_ptr<OwnedObservation> o) {
        std::lock_guard lock(mutex_);
        if (gone_) return;
        std::erase_if(list_, [](const auto& e) { return !e->isActive(); });
        list_.push_back(std::move(o));
    }
    bool isGone() {
        std::lock_guard lock(mutex_);
        return gone_;
    }
    void remove(const OwnedObservation* o) {
        std::shared_ptr<OwnedObservation> removed;  // released outside the lock
        std::lock_guard lock(mutex_);
        for (auto it = list_.begin(); it != list_.end(); ++it) {
            if (it->get() == o) {
                removed = std::move(*it);
                list_.erase(it);
                break;
            }
        }
    }
    void objectWillDestroy(Object&) override {
        std::vector<std::shared_ptr<OwnedObservation>> list;
        {
            std::lock_guard lock(mutex_);
            gone_ = true;
            list.swap(list_);
        }
        for (auto& o : list) o->end();
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<OwnedObservation>> list_;
    bool gone_ = false;
};
const char OwnedObservations::tag = 0;

OwnedObservations& ownedObservations(Object& owner) {
    return *static_cast<OwnedObservations*>(
        owner.ensureSlot(&OwnedObservations::tag, [] { return std::unique_ptr<Object::Slot>(new OwnedObservations()); }));
}
}  // namespace

OwnedObservation::OwnedObservation(Object& target, std::string_view key, Object& owner)
    : target_(&target), targetWeak_(target.weak_from_this()), key_(key), owner_(owner.weak_from_this()) {}

OwnedObservation::~OwnedObservation() = default;

bool OwnedObservation::start() {
    auto target = targetWeak_.lock();
    auto owner = owner_.lock();
    if (!target || !owner) return false;
    active_.store(true, std::memory_order_release);
    auto self = shared_from_this();
    auto& owned = ownedObservations(*owner);
    owned.add(self);
    if (owned.isGone() || !addKeyListener(*target, key_, nextObservationOrder(), self)) {
        end();
        return false;
    }
    return true;
}

void OwnedObservation::end() {
    if (!active_.exchange(false, std::memory_order_acq_rel)) return;
    auto self = shared_from_this();  // the owner's list may hold the last reference
    if (auto target = targetWeak_.lock()) removeKeyListener(*target, key_, this);
    if (auto owner = owner_.lock())
        if (auto* owned = static_cast<OwnedObservations*>(owner->slot(&OwnedObservations::tag))) owned->remove(this);
}

}  // namespace detail

// An announcement of a main-thread-only object from another thread would call its
// observers there: refused like its setters.
void Object::willChangeValueForKey(std::string_view key) {
    MainThread::require(*this, "willChangeValueForKey");
    notify(*this, key, true);
}
void Object::didChangeValueForKey(std::string_view key) {
    MainThread::require(*this, "didChangeValueForKey");
    notify(*this, key, false);
}

Ref<Observation> observe(const Ref<Object>& target, std::string keyPath, unsigned options,
                         std::function<void(const KVOChange&)> observer) {
    if (!target) throw Exception(Exception::InvalidArgument, "Cannot observe the key path " + keyPath + " of nil.");
    if (keyPath.empty()) throw Exception(Exception::InvalidArgument, "Cannot observe an empty key path.");
    auto core = std::make_shared<Core>(target, std::move(keyPath), options, std::move(observer));
    auto token = make<ObservationToken>(core);
    core->start();
    return token;
}

}  // namespace rt
