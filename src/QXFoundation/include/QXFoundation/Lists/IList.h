#pragma once
// Observable ordered lists.
//
// A list reports its changes to its listeners (IListListener) in batches under the list
// change contract: a batch opens with listWillChangeContent and closes with
// listDidChangeContent; between them come all deletions, then inserts, then moves, then
// changes; deletion, move-source and change indexes count positions before the batch,
// insert and move-destination indexes positions after it.

#include <cstdint>
#include <limits>
#include <memory>

#include <rt/ChangeScope.h>
#include <rt/KVC.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class ListenerTable;

/// The position answered for an item a list does not hold.
inline constexpr std::int64_t NotFound = std::numeric_limits<std::int64_t>::max();

class IList : public rt::Object {
    RT_CLASS(IList, rt::Object)
public:
    /// "count" and "isEmpty" are observable; lists announce them around each batch.
    static void describe(rt::ClassBuilder<IList>& c) {
        c.readonly("count", &IList::count);
        c.readonly("isEmpty", &IList::isEmpty);
        c.manualNotification("count");
        c.manualNotification("isEmpty");
    }

    virtual std::uint64_t count() const = 0;
    /// The item at a position below count().
    virtual rt::Value objectAtIndex(std::uint64_t index) const = 0;
    rt::Value operator[](std::uint64_t index) const { return objectAtIndex(index); }
    /// Whether an item is equal to the object.
    virtual bool containsObject(const rt::Value& object) const = 0;
    /// The first position of an equal item, or NotFound.
    virtual std::int64_t indexOfObject(const rt::Value& object) const = 0;
    /// Observable under the key "isEmpty" (and "count").
    bool isEmpty() const { return count() == 0; }
    /// Every item in order (the enumeration of the list).
    virtual rt::Value::Array allObjects() const;
    /// Whether the list has a batch open (between listWillChangeContent and
    /// listDidChangeContent): lists that start to follow it then wait for the close.
    virtual bool isChangingContent() const { return false; }
    /// The list's listener table (the one listeners(list) answers), kept at hand: a batch
    /// walks it once per item call.
    ListenerTable& listenerTable() const;

protected:
    enum class DidOrder { CountFirst, EmptyFirst };
    /// Opens a batch for observers: will-change notices of "isEmpty", then "count", then
    /// listWillChangeContent to every listener. The batch closes with did-change notices
    /// of "count", then "isEmpty" (nested: announced however the closing is left), or
    /// of "isEmpty", then "count" when opened with EmptyFirst.
    void announceWillChangeContent(DidOrder closing = DidOrder::CountFirst);
    /// Closes it: listDidChangeContent to every listener, then the did-change notices.
    void announceDidChangeContent();

private:
    std::unique_ptr<rt::ChangeScope> batchScope_;  // the open batch in the nested order
    mutable rt::Ref<ListenerTable> listenerTable_;    // made on first use
};

/// The listener protocol of lists; every call is optional.
class IListListener {
public:
    virtual ~IListListener() = default;
    virtual void listWillChangeContent(IList& list) { (void)list; }
    virtual void listDidChangeContent(IList& list) { (void)list; }
    virtual void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) {
        (void)list, (void)item, (void)index;
    }
    virtual void listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) {
        (void)list, (void)item, (void)index;
    }
    virtual void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
        (void)list, (void)item, (void)index;
    }
    virtual void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) {
        (void)list, (void)item, (void)from, (void)to;
    }
};

}  // namespace zid
