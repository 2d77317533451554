#pragma once
// A live, read-only list showing each item of a source list through a mapping block,
// at the same positions. Nothing is cached: the block runs on every read and for every
// item call passed on.

#include <functional>

#include <QXFoundation/Lists/IList.h>

namespace zid {

class MappedList : public IList, public IListListener {
    RT_CLASS(MappedList, IList)
public:
    using Map = std::function<rt::Value(const rt::Value&)>;

    MappedList(rt::Ref<IList> source, Map map);
    static rt::Ref<MappedList> listWithSource(rt::Ref<IList> source, Map map);

    const rt::Ref<IList>& sourceList() const { return sourceList_; }
    /// Follows another source; no batch is announced for the switch.
    void setSourceList(rt::Ref<IList> source);
    const Map& map() const { return map_; }

    std::uint64_t count() const override { return sourceList_ ? sourceList_->count() : 0; }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override { return indexOfObject(object) != NotFound; }
    /// The first position whose mapped item the object is equal to.
    std::int64_t indexOfObject(const rt::Value& object) const override;

    void listWillChangeContent(IList& list) override;
    void listDidChangeContent(IList& list) override;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) override;
    void listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) override;

protected:
    void didInitialize() override;

private:
    bool isSource(const IList& list) const { return sourceList_ && &list == sourceList_.get(); }
    rt::Value mapped(const rt::Value& item) const { return map_ ? map_(item) : item; }

    rt::Ref<IList> sourceList_;
    Map map_;
    rt::Ref<IList> initialSource_;
};

}  // namespace zid
