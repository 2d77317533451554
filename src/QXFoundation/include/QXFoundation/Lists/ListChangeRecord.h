#pragma once
// One entry of a batch's change description.

#include <cstdint>

#include <QXFoundation/Lists/IList.h>

namespace zid {

class ListChangeRecord : public rt::Object {
    RT_CLASS(ListChangeRecord, rt::Object)
public:
    ListChangeRecord() = default;
    ListChangeRecord(std::int64_t oldIndex, std::int64_t newToIndex, rt::Value object)
        : oldIndex_(oldIndex), newToIndex_(newToIndex), object_(std::move(object)) {}
    ListChangeRecord(std::int64_t oldIndex, std::int64_t newFromIndex, std::int64_t newToIndex, rt::Value object)
        : oldIndex_(oldIndex), newToIndex_(newToIndex), newFromIndex_(newFromIndex), object_(std::move(object)) {}
    static rt::Ref<ListChangeRecord> recordWithOldIndex(std::int64_t oldIndex, std::int64_t newToIndex,
                                                        rt::Value object);
    static rt::Ref<ListChangeRecord> recordWithOldIndex(std::int64_t oldIndex, std::int64_t newFromIndex,
                                                        std::int64_t newToIndex, rt::Value object);

    /// Position before the batch (NotFound for an insert).
    std::int64_t oldIndex() const { return oldIndex_; }
    void setOldIndex(std::int64_t index) { oldIndex_ = index; }
    /// Position in the list as it is now (a deletion's removal point; a move's destination).
    std::int64_t newToIndex() const { return newToIndex_; }
    void setNewToIndex(std::int64_t index) { newToIndex_ = index; }
    /// A move's source in the list as it is now; NotFound otherwise.
    std::int64_t newFromIndex() const { return newFromIndex_; }
    void setNewFromIndex(std::int64_t index) { newFromIndex_ = index; }
    const rt::Value& object() const { return object_; }
    void setObject(rt::Value object) { object_ = std::move(object); }

    /// Equal old and new-to positions and the same or an equal object (newFromIndex
    /// takes no part); hash agrees.
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    std::int64_t oldIndex_ = NotFound;
    std::int64_t newToIndex_ = NotFound;
    std::int64_t newFromIndex_ = NotFound;
    rt::Value object_;
};

}  // namespace zid
