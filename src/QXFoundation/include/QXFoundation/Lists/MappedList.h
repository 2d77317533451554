#pragma once
// A live, read-only list showing each item of a source list through a mapping block,
// at the same positions. Nothing is cached: the block runs on every read and for every
// item call passed on, at once, so a batch costs in proportion to its calls.

#include <functional>

#include <QXFoundation/Lists/DerivedList.h>

namespace zid {

class MappedList : public DerivedList {
    RT_CLASS(MappedList, DerivedList)
public:
    using Map = std::function<rt::Value(const rt::Value&)>;

    MappedList(rt::Ref<IList> source, Map map);
    static rt::Ref<MappedList> listWithSource(rt::Ref<IList> source, Map map);

    /// Follows another source; no batch is announced for the switch.
    void setSourceList(rt::Ref<IList> source) { followSource(std::move(source)); }
    const Map& map() const { return map_; }

    std::uint64_t count() const override { return sourceList() ? sourceList()->count() : 0; }
    rt::Value objectAtIndex(std::uint64_t index) const override;
    bool containsObject(const rt::Value& object) const override { return indexOfObject(object) != NotFound; }
    /// The first position whose mapped item the object is equal to.
    std::int64_t indexOfObject(const rt::Value& object) const override;

protected:
    void buildFromSource() override {}
    bool keepsState() const override { return false; }
    void sourceItemCall(CallKind kind, const rt::Value& item, std::uint64_t from, std::uint64_t to) override;

private:
    rt::Value mapped(const rt::Value& item) const { return map_ ? map_(item) : item; }

    Map map_;
};

}  // namespace zid
