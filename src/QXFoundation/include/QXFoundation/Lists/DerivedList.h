#pragma once
// The base of the lists that follow one source list and show its items in a form of
// their own (filtered, sorted, mapped): it holds the source, registers with it, receives
// its listener calls and hands them to the subclass, by default as one whole batch when
// the source's batch closes.
//
// A list that starts to follow a source in the middle of the source's batch has not
// seen that batch open: it keeps the source's contents of that moment and, when the
// batch closes, starts again from the source's contents (resynchronize), reporting the
// difference as one batch of its own.

#include <cstdint>
#include <vector>

#include <QXFoundation/Lists/IList.h>

namespace zid {

class DerivedList : public IList, public IListListener {
    RT_CLASS(DerivedList, IList)
public:
    const rt::Ref<IList>& sourceList() const { return sourceList_; }
    bool isChangingContent() const override { return inBatch_; }

    // Calls from the followed source; calls from any other list are ignored.
    void listWillChangeContent(IList& list) final;
    void listDidChangeContent(IList& list) final;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) final;
    void listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) final;
    void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) final;
    void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) final;

    /// One batch of the source as its calls reported it: deletion, change and
    /// move-source indexes count positions before the batch, insert and
    /// move-destination indexes positions after it.
    struct SourceBatch {
        struct Call {
            std::uint64_t index;
            rt::Value item;
        };
        struct Move {
            std::uint64_t from, to;
            rt::Value item;
        };
        std::vector<Call> deletions, inserts, changes;
        std::vector<Move> moves;
        bool empty() const { return deletions.empty() && inserts.empty() && changes.empty() && moves.empty(); }
        /// Whether the indexes fit a source of oldCount items before and newCount after,
        /// no old position is removed twice and no new one filled twice.
        bool fits(std::uint64_t oldCount, std::uint64_t newCount) const;
    };

protected:
    /// The source is followed from didInitialize() on.
    explicit DerivedList(rt::Ref<IList> source);
    void didInitialize() override;
    /// Follows another source (or none); announces nothing. Subclasses call it and then
    /// build their state from the new source's contents.
    void followSource(rt::Ref<IList> source);
    bool isSource(const IList& list) const { return sourceList_ && &list == sourceList_.get(); }

    /// Builds the list's state from the source as it is, with nothing announced (at
    /// creation, from didInitialize()).
    virtual void buildFromSource() = 0;
    /// An item call of the source: collected into the open batch by default (and
    /// dropped outside one); a list passing calls on at once overrides it.
    enum class CallKind { Insert, Delete, Move, Change };
    virtual void sourceItemCall(CallKind kind, const rt::Value& item, std::uint64_t from, std::uint64_t to);
    /// The source opened a batch: opens this list's batch by default.
    virtual void sourceWillChangeContent() { announceWillChangeContent(); }
    /// The source closed its batch: applySourceBatch with the collected calls, then this
    /// list's batch closes.
    virtual void sourceDidChangeContent(const SourceBatch& batch);
    virtual void applySourceBatch(const SourceBatch& batch) { (void)batch; }
    /// The source closed a batch this list did not see open. itemsThen holds the
    /// source's items of the moment the list began to follow it, which its state still
    /// describes: the list starts again from the source's contents and reports the
    /// difference, inside a batch of its own that is already open.
    virtual void resynchronize(const rt::Value::Array& itemsThen) { (void)itemsThen; }
    /// Whether resynchronize needs itemsThen (a list keeping no state of its own does not).
    virtual bool keepsState() const { return true; }

private:
    rt::Ref<IList> sourceList_;
    rt::Ref<IList> initialSource_;
    bool inBatch_ = false;
    bool startedInsideBatch_ = false;
    rt::Value::Array itemsWhenFollowed_;
    SourceBatch batch_;
};

}  // namespace zid
