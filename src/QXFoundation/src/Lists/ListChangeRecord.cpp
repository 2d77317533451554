#include <QXFoundation/Lists/ListChangeRecord.h>

#include <rt/Format.h>

namespace zid {

rt::Ref<ListChangeRecord> ListChangeRecord::recordWithOldIndex(std::int64_t oldIndex, std::int64_t newToIndex,
                                                               rt::Value object) {
    return rt::make<ListChangeRecord>(oldIndex, newToIndex, std::move(object));
}

rt::Ref<ListChangeRecord> ListChangeRecord::recordWithOldIndex(std::int64_t oldIndex, std::int64_t newFromIndex,
                                                               std::int64_t newToIndex, rt::Value object) {
    return rt::make<ListChangeRecord>(oldIndex, newFromIndex, newToIndex, std::move(object));
}

bool ListChangeRecord::isEqual(const rt::Object& other) const {
    auto* record = dynamic_cast<const ListChangeRecord*>(&other);
    return record && record->oldIndex_ == oldIndex_ && record->newToIndex_ == newToIndex_ &&
           (record->object_.isIdentical(object_) || record->object_.isEqual(object_));
}

std::size_t ListChangeRecord::hash() const {
    return static_cast<std::size_t>(newToIndex_ ^ oldIndex_) ^ object_.hash();
}

std::string ListChangeRecord::description() const {
    return rt::Object::description() +
           rt::format("%d->%d (%@)", static_cast<int>(oldIndex_), static_cast<int>(newToIndex_), object_);
}

}  // namespace zid
