#pragma once
// One target of a property mapping: a key path, an optional boxing or converter name,
// and the validators the source value must pass before anything is written.

#include <functional>
#include <string>
#include <vector>

#include <fnd/RegularExpression.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// A validator: the value and the property name in, an error or nullptr out.
using KZValidationBlock = std::function<rt::Ref<rt::Error>(const rt::Value& value, const std::string& propertyName)>;

class KZPropertyDescriptor : public rt::Object {
    RT_CLASS(KZPropertyDescriptor, rt::Object)
public:
    KZPropertyDescriptor(std::string propertyName, std::string mapping);

    static rt::Ref<KZPropertyDescriptor> descriptorWithPropertyName(std::string propertyName, std::string mapping = {});
    /// A descriptor whose mapping is a converter's name ("supportedLocale:").
    static rt::Ref<KZPropertyDescriptor> descriptorWithPropertyNameSelector(std::string propertyName, std::string selector);
    /// The mapping joins, in order and each once, mapping strings as they are and the
    /// string mappings of descriptors, with " & " between; nullptr for an empty list.
    static rt::Ref<KZPropertyDescriptor> descriptorWithPropertyNameAndMappings(std::string propertyName,
                                                                              const rt::Value::Array& mappings);
    /// Appends a mapping string or a descriptor's string mapping, after " & " when the
    /// text is not empty; any other value appends nothing.
    static void addMapping(const rt::Value& mapping, std::string& mappingString);

    const std::string& propertyName() const { return propertyName_; }
    void setPropertyName(std::string name) { propertyName_ = std::move(name); }
    const std::string& mapping() const { return mapping_; }
    void setMapping(std::string mapping) { mapping_ = std::move(mapping); }
    bool isUsingSelectorMapping() const { return usingSelector_; }
    void setUsingSelectorMapping(bool flag) { usingSelector_ = flag; }
    const std::vector<KZValidationBlock>& validationBlocks() const { return validationBlocks_; }

    /// The mapping string the descriptor stands for: the property name without a
    /// mapping, the mapping without a property name, else "@Selector(m, p)" or "@m(p)".
    std::string stringMapping() const;

    void addValidatonWithBlock(KZValidationBlock block);
    /// A validator that passes a value that is neither nil nor null and passes the check;
    /// otherwise "<property>: validation failed on <name>".
    void addValidatorWithName(std::string name, std::function<bool(const rt::Value&)> validation);
    /// The errors of every validator, in order; empty when all pass.
    std::vector<rt::Ref<rt::Error>> validateValue(const rt::Value& value) const;

    // Validators; each adds one and answers the descriptor, so they chain.
    rt::Ref<KZPropertyDescriptor> isRequired();
    rt::Ref<KZPropertyDescriptor> lengthRange(long long a, long long b);
    rt::Ref<KZPropertyDescriptor> matchesRegEx(rt::Ref<fnd::RegularExpression> expression);
    rt::Ref<KZPropertyDescriptor> length(long long n);
    rt::Ref<KZPropertyDescriptor> minLength(long long n);
    rt::Ref<KZPropertyDescriptor> maxLength(long long n);
    rt::Ref<KZPropertyDescriptor> oneOf(rt::Value::Array values);
    rt::Ref<KZPropertyDescriptor> equalTo(std::string text);
    rt::Ref<KZPropertyDescriptor> min(long long n);
    rt::Ref<KZPropertyDescriptor> max(long long n);
    rt::Ref<KZPropertyDescriptor> range(long long a, long long b);

    std::string description() const override { return stringMapping(); }

private:
    std::string propertyName_;
    std::string mapping_;
    bool usingSelector_ = false;
    std::vector<KZValidationBlock> validationBlocks_;
};

}  // namespace zid
