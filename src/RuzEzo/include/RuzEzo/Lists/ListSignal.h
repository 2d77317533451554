#pragma once
// A signal whose value is the array of one key path's value on every item of a list,
// in list order (the null placeholder for nil), kept in step with the list's inserts,
// deletions and moves and with each item's own changes.
//
// A batch of the list is applied when it closes, as a whole: deletions and move
// sources at their positions before the batch, inserts and move destinations at their
// positions after it. The array goes out once per batch, and not at all when it equals
// the last one.

#include <string>
#include <vector>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <QXFoundation/Lists/IList.h>
#include <QXFoundation/Lists/ListBatchReplay.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <RuzEzo/Signal/Multi/FKMultiSignal.h>

namespace zid {

class ListSignal : public FKSignal, public IListListener {
    RT_CLASS(ListSignal, FKSignal)
public:
    ListSignal(rt::Ref<IList> list, std::string keypath);
    static rt::Ref<ListSignal> signalWithList(rt::Ref<IList> list, std::string keypath);

    const rt::Ref<IList>& list() const { return list_; }
    const std::string& keypath() const { return keypath_; }
    /// One signal per item, in list order.
    const std::vector<FKSignalRef>& keypathSignals() const { return keypathSignals_; }
    const rt::Ref<FKMultiSignal>& childSignal() const { return childSignal_; }

    void listWillChangeContent(IList& list) override;
    void listDidChangeContent(IList& list) override;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    FKSignalRef signalForItem(const rt::Value& item) const;
    void resetChildSignal();
    void applyBatch();
    void clearBatch();

    rt::Ref<IList> list_;
    std::string keypath_;
    std::vector<FKSignalRef> keypathSignals_;
    rt::Ref<FKMultiSignal> childSignal_;
    std::shared_ptr<IDisposable> handler_;
    // the open batch of the list
    bool inBatch_ = false;
    std::vector<std::uint64_t> deletions_;
    std::vector<std::uint64_t> inserts_;
    std::vector<rt::Value> insertedItems_;  // one per insert
    std::vector<ListBatchMove> moves_;
};

}  // namespace zid
