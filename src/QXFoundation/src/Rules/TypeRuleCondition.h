#pragma once
// A condition on a candidate's class and adopted protocol.

#include <optional>
#include <string>

#include "Rules/IRuleCondition.h"

namespace zid {

class TypeRuleCondition : public IRuleCondition {
    RT_CLASS(TypeRuleCondition, IRuleCondition)
public:
    /// Either part may be missing; with neither, every non-nil candidate matches.
    explicit TypeRuleCondition(const rt::Class* cls = nullptr, std::optional<std::string> protocol = std::nullopt)
        : cls_(cls), protocol_(std::move(protocol)) {}
    static rt::Ref<TypeRuleCondition> conditionWithClass(const rt::Class* cls, std::optional<std::string> protocol) {
        return rt::make<TypeRuleCondition>(cls, std::move(protocol));
    }

    const rt::Class* cls() const { return cls_; }
    const std::optional<std::string>& protocol() const { return protocol_; }

    /// Nil never matches; an object must be a kind of the class and conform to the
    /// protocol, whichever are set. Values that are not objects match only a condition
    /// with neither.
    bool matchesFor(const rt::Value& candidate) const override;
    /// A new condition of the receiver's class with the same class and protocol.
    rt::Ref<IRuleCondition> copy() const override;

    /// Equal to another type condition with the same class and protocol.
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    /// "Class<Protocol>", "Class", "id<Protocol>" or "ANY".
    std::string description() const override;

private:
    const rt::Class* cls_;
    std::optional<std::string> protocol_;
};

}  // namespace zid
