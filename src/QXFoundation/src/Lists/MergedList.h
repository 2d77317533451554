#pragma once
// A live, read-only list showing several lists one after another. Batches of its lists
// that overlap (one list changed while another's batch is open) become one batch; the
// batch is worked out when it closes, with every old position counted against the
// lists as they were when it opened and every new one against the lists as they are.

#include <unordered_map>
#include <vector>

#include "Lists/ListBatchFollower.h"

namespace zid {

class MergedList : public IList, public IListListener {
    RT_CLASS(MergedList, IList)
public:
    explicit MergedList(std::vector<rt::Ref<IList>> lists = {});
    static rt::Ref<MergedList> listWithLists(std::vector<rt::Ref<IList>> lists);

    const std::vector<rt::Ref<IList>>& lists() const { return lists_; }

    std::uint64_t count() const override;
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override;
    std::int64_t indexOfObject(const rt::Value& object) const override;

    void beginUpdates();
    void endUpdates();
    bool isChangingContent() const override { return nestedChangeLevel_ > 0; }
    /// Items of the lists before the list's first occurrence; count() when absent.
    std::uint64_t offsetForList(const IList& list) const;
    /// A number holding the merged list's address.
    rt::Value uniqueID() const;

    void listWillChangeContent(IList& list) override;
    void listDidChangeContent(IList& list) override;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) override;

protected:
    void didInitialize() override;
    void willChangeContent();
    void didChangeContent();

private:
    ListBatchFollower* followerFor(const IList& list);

    std::vector<rt::Ref<IList>> lists_;
    std::int64_t nestedChangeLevel_ = 0;
    std::unordered_map<const IList*, ListBatchFollower> followers_;
    std::vector<std::uint64_t> oldOffsets_;  // per entry of lists_, when the batch opened
};

/// A merged list of the given lists.
rt::Ref<MergedList> mergedList(std::vector<rt::Ref<IList>> lists);
/// A merged list of the lists among the values (other values are skipped).
rt::Ref<MergedList> mergedList(const rt::Value::Array& lists);

}  // namespace zid
