#pragma once
// An observable list over an array: every mutation is announced to the listeners in
// batches under the list change contract. Items that change are reported too: the list
// listens to each item (an item's didChange reports it changed) and can observe key
// paths of its items (setTrackedKeypathes).
//
// ArrayList exposes its mutators to subclasses only; MutableArrayList makes them public.

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/ChunkedArray.h>
#include <QXFoundation/Lists/IList.h>
#include <QXFoundation/Lists/ListChangeTracker.h>
#include <QXFoundation/Lists/TrackedItems.h>
#include <rt/KVO.h>

namespace zid {

class ArrayList : public IList, public IObjectChangeListener {
    RT_CLASS(ArrayList, IList)
public:
    ArrayList();
    explicit ArrayList(const rt::Value::Array& items);
    explicit ArrayList(const IList& list);
    static rt::Ref<ArrayList> emptyList();
    static rt::Ref<ArrayList> listWithObject(const rt::Value& object);
    static rt::Ref<ArrayList> listWithArray(const rt::Value::Array& items);
    static rt::Ref<ArrayList> listWithList(const IList& list);

    // IList
    std::uint64_t count() const override { return array_.size(); }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override;
    std::int64_t indexOfObject(const rt::Value& object) const override;
    rt::Value::Array allObjects() const override { return array_.toArray(); }

    /// Equal to any list with equal items at the same positions; hash agrees.
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

    // Batches: only the outermost pair announces and reports.
    virtual void beginUpdates();
    virtual void endUpdates();
    bool isChangingContent() const override { return nestedChangeLevel_ > 0; }

    // Item tracking.
    const std::set<std::string>& trackedKeypathes() const { return trackedKeypathes_; }
    void setTrackedKeypathes(std::set<std::string> keypaths);
    bool trackingDisabled() const { return trackingDisabled_; }
    /// Reports the item changed at every position that holds this very object.
    void objectDidChange(rt::Object& item) override;
    void objectDidChange(const rt::Value& item);

    /// Index keys: a key made of an optional sign and digits names a position. Reading
    /// answers nil outside the list; writing an object replaces (or appends at count),
    /// writing nil removes. Other keys are undefined keys.
    rt::Value valueForUndefinedKey(std::string_view key) const override;
    void setValueForUndefinedKey(const rt::Value& value, std::string_view key) override;
    /// Appends at count, replaces below it; past count raises Exception::RangeError.
    void setObjectAtIndexedSubscript(const rt::Value& object, std::uint64_t index);

protected:
    virtual void addObject(const rt::Value& object);
    virtual void addObjects(const rt::Value::Array& objects);
    virtual void insertObject(const rt::Value& object, std::uint64_t index);
    virtual void removeObjectAtIndex(std::uint64_t index);
    virtual void removeObject(const rt::Value& object);
    virtual void removeAllObjects();
    virtual void replaceObjectAtIndex(std::uint64_t index, const rt::Value& object);
    virtual void moveObjectAtIndex(std::uint64_t from, std::uint64_t to);
    virtual void objectDidChangeAtIndex(std::uint64_t index);

    void trackObject(const rt::Value& item);
    void untrackObject(const rt::Value& item);
    static const void* trackingKeyForObject(const rt::Value& item);

    void willChangeContent();
    void didChangeContent();
    void willDestroy() override;
    void didInitialize() override;

private:
    void checkIndex(std::uint64_t index, std::uint64_t limit, const char* operation) const;
    // Runs a mutation as a batch of its own (or inside the open one), then the tracking
    // work that follows its endUpdates.
    template <class Mutation, class After> void batch(Mutation&& mutation, After&& after);
    const rt::Ref<ListenerProxy>& ownProxy();

    void removeObservations();

    bool trackingDisabled_ = false;
    std::set<std::string> trackedKeypathes_;
    rt::Value::Array initial_;  // until didInitialize()
    ChunkedArray array_;  // mutations in the middle shift one chunk, not half the list
    std::int64_t nestedChangeLevel_ = 0;
    TrackedItems trackers_;  // by identity: positions holding the item, its listener table
    std::unordered_map<const void*, std::vector<rt::Ref<rt::Observation>>> observations_;  // of the tracked keypaths
    rt::Ref<ListChangeTracker> changeTracker_;
    rt::Ref<ListenerProxy> ownProxy_;  // made at the first tracked item
};

class MutableArrayList : public ArrayList {
    RT_CLASS(MutableArrayList, ArrayList)
public:
    using ArrayList::ArrayList;
    static rt::Ref<MutableArrayList> emptyList() { return rt::make<MutableArrayList>(); }
    static rt::Ref<MutableArrayList> listWithArray(const rt::Value::Array& items) {
        return rt::make<MutableArrayList>(items);
    }
    using ArrayList::addObject;
    using ArrayList::addObjects;
    using ArrayList::insertObject;
    using ArrayList::moveObjectAtIndex;
    using ArrayList::objectDidChangeAtIndex;
    using ArrayList::removeAllObjects;
    using ArrayList::removeObject;
    using ArrayList::removeObjectAtIndex;
    using ArrayList::replaceObjectAtIndex;
};

/// A one-item list holding the value.
rt::Ref<ArrayList> toList(const rt::Value& object);
/// A list of the array's items.
rt::Ref<ArrayList> toList(const rt::Value::Array& items);

}  // namespace zid
