#pragma once
// Layout attributes that carry fields of their own: Fields, a plain struct with an
// equality, is a public base, so its members read as the attributes' own. Two
// attributes are equal when their fields and the toolkit's are; a copy (which the
// toolkit makes through makeEmpty and copyFieldsTo) keeps the fields.

#include <ui/CollectionViewLayout.h>

namespace zid {

/// Self is the attributes class deriving from this one.
template <class Self, class Fields>
class QXLayoutAttributesWith : public ui::CollectionViewLayoutAttributes, public Fields {
public:
    bool isEqual(const ui::CollectionViewLayoutAttributes& other) const override {
        auto* o = dynamic_cast<const Self*>(&other);
        return o && static_cast<const Fields&>(*o) == static_cast<const Fields&>(*this) &&
               ui::CollectionViewLayoutAttributes::isEqual(other);
    }

protected:
    rt::Ref<ui::CollectionViewLayoutAttributes> makeEmpty() const override { return rt::make<Self>(); }
    void copyFieldsTo(ui::CollectionViewLayoutAttributes& to) const override {
        ui::CollectionViewLayoutAttributes::copyFieldsTo(to);
        static_cast<Fields&>(static_cast<Self&>(to)) = static_cast<const Fields&>(*this);
    }
};

}  // namespace zid
