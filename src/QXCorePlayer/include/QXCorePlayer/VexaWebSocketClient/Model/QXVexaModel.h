#pragma once
// Base of the media server's models: turns an object into a dictionary from the
// properties its class declares itself (not inherited ones), under a per-class table of
// wire names; compares and describes objects by those properties.

#include <map>
#include <string>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXVexaModel : public rt::Object {
    RT_CLASS(QXVexaModel, rt::Object)
public:
    /// The properties the object's class declares itself, in declaration order.
    virtual std::vector<std::string> propertyNames() const { return {}; }
    /// Property name to wire key; empty means every property travels under its own name.
    virtual std::map<std::string, std::string> propertyMap() const { return {}; }
    /// The value of a property of the class or of one of its bases; nil for others.
    virtual rt::Value modelValue(const std::string& name) const;

    /// Every non-nil own property under its wire key, in declaration order.
    virtual rt::Dictionary dictionaryRepresentation() const;
    /// The other object is of the receiver's class or a subclass, and every own property
    /// of the receiver's class is equal (nil on both sides counts as equal).
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    /// The inherited description, then "\n<name>: <value>" for every own property.
    std::string description() const override;
};

}  // namespace zid
