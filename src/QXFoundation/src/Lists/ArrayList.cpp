#include <QXFoundation/Lists/ArrayList.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

ArrayList::ArrayList() : changeTracker_(rt::make<ListChangeTracker>()) {}

ArrayList::ArrayList(const rt::Value::Array& items) : ArrayList() {
    // Items are added in didInitialize(), where the list can register as their listener.
    initial_ = items;
}

ArrayList::ArrayList(const IList& list) : ArrayList(list.allObjects()) {}

rt::Ref<ArrayList> ArrayList::emptyList() { return rt::make<ArrayList>(); }
rt::Ref<ArrayList> ArrayList::listWithObject(const rt::Value& object) { return rt::make<ArrayList>(rt::Value::Array{object}); }
rt::Ref<ArrayList> ArrayList::listWithArray(const rt::Value::Array& items) { return rt::make<ArrayList>(items); }
rt::Ref<ArrayList> ArrayList::listWithList(const IList& list) { return rt::make<ArrayList>(list); }

rt::Ref<ArrayList> toList(const rt::Value& object) { return ArrayList::listWithObject(object); }
rt::Ref<ArrayList> toList(const rt::Value::Array& items) { return ArrayList::listWithArray(items); }

void ArrayList::didInitialize() {
    IList::didInitialize();
    rt::Value::Array initial;
    initial.swap(initial_);
    // Nobody listens yet: the items go straight in, with no batch to announce.
    array_.assign(initial);
    trackers_.reserve(initial.size());
    for (const auto& item : initial) trackObject(item);
}

rt::Value ArrayList::objectAtIndex(std::uint64_t index) const {
    checkIndex(index, count(), "objectAtIndex");
    return array_[index];
}

bool ArrayList::containsObject(const rt::Value& object) const { return indexOfObject(object) != NotFound; }

std::int64_t ArrayList::indexOfObject(const rt::Value& object) const {
    std::int64_t found = NotFound;
    array_.forEach([&](std::size_t i, const rt::Value& item) {
        if (found == NotFound && item.isEqual(object)) found = static_cast<std::int64_t>(i);
    });
    return found;
}

bool ArrayList::isEqual(const rt::Object& other) const {
    auto* list = dynamic_cast<const IList*>(&other);
    if (!list) return false;
    if (list == this) return true;
    if (list->count() != count()) return false;
    bool equal = true;
    array_.forEach([&](std::size_t i, const rt::Value& item) { equal = equal && item.isEqual(list->objectAtIndex(i)); });
    return equal;
}

std::size_t ArrayList::hash() const {
    // Consistent with isEqual: equal lists have equal counts and equal first items.
    return array_.size() * 31 + (array_.empty() ? 0 : array_[0].hash());
}

std::string ArrayList::description() const {
    return rt::Object::description() + rt::format("%@", rt::Value(array_.toArray()));
}

void ArrayList::checkIndex(std::uint64_t index, std::uint64_t limit, const char* operation) const {
    if (index >= limit)
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("%s: index %llu beyond bounds [0 .. %lld]", operation, index,
                                       static_cast<long long>(limit) - 1));
}

// ---- batches -------------------------------------------------------------------------

void ArrayList::beginUpdates() {
    if (nestedChangeLevel_ == 0) willChangeContent();
    ++nestedChangeLevel_;
}

void ArrayList::endUpdates() {
    if (nestedChangeLevel_ <= 0) return;  // unbalanced: nothing is open
    if (--nestedChangeLevel_ == 0) didChangeContent();
}

void ArrayList::willChangeContent() {
    willChange(*this);
    announceWillChangeContent();
    changeTracker_->beginTracking(count());
}

void ArrayList::didChangeContent() {
    changeTracker_->endTrackingAndReport(*this);
    announceDidChangeContent();
    didChange(*this);
}

template <class Mutation, class After> void ArrayList::batch(Mutation&& mutation, After&& after) {
    beginUpdates();
    try {
        mutation();
    } catch (...) {
        endUpdates();
        throw;
    }
    endUpdates();
    after();
}

// ---- mutators ------------------------------------------------------------------------

void ArrayList::addObject(const rt::Value& object) {
    batch(
        [&] {
            array_.push_back(object);
            changeTracker_->trackInserAt(static_cast<std::int64_t>(array_.size() - 1), object);
        },
        [&] { trackObject(object); });
}

void ArrayList::addObjects(const rt::Value::Array& objects) {
    beginUpdates();
    for (const auto& object : objects) addObject(object);
    endUpdates();
}

void ArrayList::insertObject(const rt::Value& object, std::uint64_t index) {
    checkIndex(index, count() + 1, "insertObject:atIndex:");
    batch(
        [&] {
            array_.insert(index, object);
            changeTracker_->trackInserAt(static_cast<std::int64_t>(index), object);
        },
        [&] { trackObject(object); });
}

void ArrayList::removeObjectAtIndex(std::uint64_t index) {
    checkIndex(index, count(), "removeObjectAtIndex:");
    rt::Value removed = array_[index];
    batch(
        [&] {
            array_.erase(index);
            changeTracker_->trackDeletionFrom(static_cast<std::int64_t>(index), removed);
        },
        [&] { untrackObject(removed); });
}

void ArrayList::removeObject(const rt::Value& object) {
    std::int64_t index = indexOfObject(object);
    if (index == NotFound) return;  // not even an empty batch
    removeObjectAtIndex(static_cast<std::uint64_t>(index));
}

void ArrayList::removeAllObjects() {
    beginUpdates();
    while (!array_.empty()) removeObjectAtIndex(array_.size() - 1);
    endUpdates();
}

void ArrayList::replaceObjectAtIndex(std::uint64_t index, const rt::Value& object) {
    checkIndex(index, count(), "replaceObjectAtIndex:withObject:");
    rt::Value old = array_[index];
    batch(
        [&] {
            array_[index] = object;
            changeTracker_->trackDeletionFrom(static_cast<std::int64_t>(index), old);
            changeTracker_->trackInserAt(static_cast<std::int64_t>(index), object);
        },
        [&] {
            untrackObject(old);
            trackObject(object);
        });
}

void ArrayList::moveObjectAtIndex(std::uint64_t from, std::uint64_t to) {
    checkIndex(from, count(), "moveObjectAtIndex:toIndex:");
    checkIndex(to, count(), "moveObjectAtIndex:toIndex:");
    batch(
        [&] {
            rt::Value item = array_[from];
            if (from != to) {
                array_.erase(from);
                array_.insert(to, item);
            }
            changeTracker_->trackMoveFrom(static_cast<std::int64_t>(from), static_cast<std::int64_t>(to), item);
        },
        [] {});
}

void ArrayList::objectDidChangeAtIndex(std::uint64_t index) {
    checkIndex(index, count(), "objectDidChangeAtIndex:");
    rt::Value item = array_[index];
    batch([&] { changeTracker_->trackChangeAt(static_cast<std::int64_t>(index), item); }, [] {});
}

// ---- item tracking ---------------------------------------------------------------------

const void* ArrayList::trackingKeyForObject(const rt::Value& item) {
    if (item.isObject()) return item.object().get();
    return nullptr;  // plain values (strings, numbers) cannot announce changes
}

void ArrayList::trackObject(const rt::Value& item) {
    const void* key = trackingKeyForObject(item);
    if (!key) return;
    auto& tracker = trackers_[key];
    if (tracker.occurrences++ > 0) return;  // already tracked: one more position holds it
    auto object = item.object();
    tracker.table = ListenerTable::of(*object);
    tracker.table->add(ownProxy());
    if (trackedKeypathes_.empty()) return;
    auto& observations = observations_[key];
    trackingDisabled_ = true;
    rt::Weak<rt::Object> weakList = self(), weakItem = object;
    for (const auto& keypath : trackedKeypathes_) {
        try {
            observations.push_back(rt::observe(object, keypath, rt::KVONew | rt::KVOOld | rt::KVOInitial,
                                                       [weakList, weakItem](const rt::KVOChange&) {
                                                           auto list = std::static_pointer_cast<ArrayList>(weakList.lock());
                                                           auto changed = weakItem.lock();
                                                           if (list && changed) list->objectDidChange(*changed);
                                                       }));
        } catch (const rt::Exception&) {
            // an item without such a key is simply not observed for it
        }
    }
    trackingDisabled_ = false;
}

const rt::Ref<ListenerProxy>& ArrayList::ownProxy() {
    // The list's one proxy as a listener, which every item it tracks registers.
    if (!ownProxy_) ownProxy_ = listenerProxyFor(*this);
    return ownProxy_;
}

void ArrayList::untrackObject(const rt::Value& item) {
    const void* key = trackingKeyForObject(item);
    if (!key) return;
    auto* tracker = trackers_.find(key);
    if (!tracker) return;
    // An item held at several positions stays tracked until its last position goes.
    if (--tracker->occurrences > 0) return;
    tracker->table->remove(*ownProxy());
    trackers_.erase(*tracker);
    if (auto it = observations_.find(key); it != observations_.end()) {
        auto observations = std::move(it->second);
        observations_.erase(it);
        for (auto& observation : observations) observation->remove();
    }
}

void ArrayList::setTrackedKeypathes(std::set<std::string> keypaths) {
    trackedKeypathes_ = std::move(keypaths);
    removeObservations();
    trackers_.clear();
    for (const auto& item : array_.toArray()) trackObject(item);
}

void ArrayList::objectDidChange(rt::Object& item) {
    if (trackingDisabled_) return;
    beginUpdates();
    std::vector<std::size_t> positions;
    array_.forEach([&](std::size_t i, const rt::Value& value) {
        if (value.isObject() && value.object().get() == &item) positions.push_back(i);
    });
    for (auto i : positions) objectDidChangeAtIndex(i);
    endUpdates();
}

void ArrayList::objectDidChange(const rt::Value& item) {
    if (item.isObject()) objectDidChange(*item.object());
}

void ArrayList::removeObservations() {
    auto observations = std::move(observations_);
    observations_.clear();
    for (auto& [key, handlers] : observations)
        for (auto& observation : handlers) observation->remove();
}

void ArrayList::willDestroy() {
    removeObservations();
    trackers_.clear();
    IList::willDestroy();
}

// ---- index keys --------------------------------------------------------------------------

namespace {
// A key naming a position: an optional sign and at least one digit, nothing else. Any
// number of digits makes an index key; one beyond the signed 64-bit range names no
// valid position (outOfRange), like a position past the end.
struct IndexKey {
    long long value = 0;
    bool outOfRange = false;
};
std::optional<IndexKey> indexKey(std::string_view key) {
    if (key.empty()) return std::nullopt;
    std::size_t start = (key[0] == '-' || key[0] == '+') ? 1 : 0;
    if (start == key.size()) return std::nullopt;
    for (std::size_t i = start; i < key.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(key[i]))) return std::nullopt;
    long long value = 0;
    auto digits = key.substr(key[0] == '+' ? 1 : 0);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) return IndexKey{key[0] == '-' ? -1 : 0, true};
    if (error != std::errc()) return std::nullopt;
    return IndexKey{value, false};
}
}  // namespace

rt::Value ArrayList::valueForUndefinedKey(std::string_view key) const {
    auto index = indexKey(key);
    if (!index) return IList::valueForUndefinedKey(key);
    if (index->outOfRange || index->value < 0 || static_cast<std::uint64_t>(index->value) >= count()) return rt::Value();
    return array_[static_cast<std::size_t>(index->value)];
}

void ArrayList::setValueForUndefinedKey(const rt::Value& value, std::string_view key) {
    auto index = indexKey(key);
    if (!index) return IList::setValueForUndefinedKey(value, key);
    if (index->value < 0 || index->outOfRange) {
        if (value.isNil()) return;  // nothing stands there to remove
        throw rt::Exception(rt::Exception::RangeError,
                            rt::format("index key \"%@\" names no position of a list of %llu items", std::string(key),
                                       static_cast<unsigned long long>(count())));
    }
    auto position = static_cast<std::uint64_t>(index->value);
    if (value.isNil()) {
        if (position < count()) removeObjectAtIndex(position);
        return;
    }
    setObjectAtIndexedSubscript(value, position);
}

void ArrayList::setObjectAtIndexedSubscript(const rt::Value& object, std::uint64_t index) {
    if (index == count()) addObject(object);
    else replaceObjectAtIndex(index, object);  // raises past the end
}

}  // namespace zid
