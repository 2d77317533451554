#include "Common/PropertyMapper/KZPropertyDescriptor.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

#include "Common/PropertyMapper/KZPropertyMapper.h"
#include <fnd/UTF16.h>
#include <rt/Format.h>

namespace zid {

namespace {

// The length validators measure text in UTF-16 units, as the host platform counts them;
// values that are not text have no length and fail.
std::optional<long long> lengthOf(const rt::Value& value) {
    if (value.isString()) return static_cast<long long>(fnd::utf16Length(value.string()));
    return std::nullopt;
}

// The integer validators read numbers, and text by its leading integer.
std::optional<long long> integerOf(const rt::Value& value) {
    if (value.isNumber()) return value.longLongValue();
    if (value.isString()) return std::strtoll(value.string().c_str(), nullptr, 10);
    return std::nullopt;
}

constexpr long long kNoLowerBound = std::numeric_limits<long long>::min();
constexpr long long kNoUpperBound = std::numeric_limits<long long>::max();

// Adds the validator named name: the value has a measure, and it lies in [low, high].
rt::Ref<KZPropertyDescriptor> measuredWithin(KZPropertyDescriptor& descriptor, std::string name,
                                             std::optional<long long> (*measure)(const rt::Value&), long long low,
                                             long long high) {
    descriptor.addValidatorWithName(std::move(name), [measure, low, high](const rt::Value& v) {
        const auto m = measure(v);
        return m && *m >= low && *m <= high;
    });
    return descriptor.selfAs<KZPropertyDescriptor>();
}

}  // namespace

KZPropertyDescriptor::KZPropertyDescriptor(std::string propertyName, std::string mapping)
    : propertyName_(std::move(propertyName)), mapping_(std::move(mapping)) {}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::descriptorWithPropertyName(std::string propertyName, std::string mapping) {
    return rt::make<KZPropertyDescriptor>(std::move(propertyName), std::move(mapping));
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::descriptorWithPropertyNameSelector(std::string propertyName,
                                                                                      std::string selector) {
    auto descriptor = rt::make<KZPropertyDescriptor>(std::move(propertyName), std::move(selector));
    descriptor->setUsingSelectorMapping(true);
    return descriptor;
}

void KZPropertyDescriptor::addMapping(const rt::Value& mapping, std::string& mappingString) {
    std::string text;
    if (mapping.isString()) text = mapping.string();
    else if (auto descriptor = mapping.as<KZPropertyDescriptor>()) text = descriptor->stringMapping();
    else return;
    if (!mappingString.empty()) mappingString += " & ";
    mappingString += text;
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::descriptorWithPropertyNameAndMappings(std::string propertyName,
                                                                                         const rt::Value::Array& mappings) {
    if (mappings.empty()) return nullptr;
    std::string joined;
    std::vector<std::string> seen;
    for (const auto& mapping : mappings) {
        std::string one;
        addMapping(mapping, one);
        if (one.empty() || std::find(seen.begin(), seen.end(), one) != seen.end()) continue;
        seen.push_back(one);
        addMapping(rt::Value(one), joined);
    }
    return descriptorWithPropertyName(std::move(propertyName), std::move(joined));
}

std::string KZPropertyDescriptor::stringMapping() const {
    if (mapping_.empty()) return propertyName_;
    if (propertyName_.empty()) return mapping_;
    if (usingSelector_) return "@Selector(" + mapping_ + ", " + propertyName_ + ")";
    return "@" + mapping_ + "(" + propertyName_ + ")";
}

void KZPropertyDescriptor::addValidatonWithBlock(KZValidationBlock block) { validationBlocks_.push_back(std::move(block)); }

void KZPropertyDescriptor::addValidatorWithName(std::string name, std::function<bool(const rt::Value&)> validation) {
    addValidatonWithBlock([name = std::move(name), validation = std::move(validation)](
                              const rt::Value& value, const std::string& propertyName) -> rt::Ref<rt::Error> {
        if (!value.isNilOrNull() && validation(value)) return nullptr;
        return varno_NSErrorMake(rt::format("%@: validation failed on %@", propertyName, name),
                                 KZPropertyMapperErrorCode, {});
    });
}

std::vector<rt::Ref<rt::Error>> KZPropertyDescriptor::validateValue(const rt::Value& value) const {
    std::vector<rt::Ref<rt::Error>> errors;
    for (const auto& block : validationBlocks_)
        if (auto error = block(value, propertyName_)) errors.push_back(std::move(error));
    return errors;
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::isRequired() {
    addValidatorWithName("isRequired", [](const rt::Value&) { return true; });
    return selfAs<KZPropertyDescriptor>();
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::lengthRange(long long a, long long b) {
    return measuredWithin(*this, "lengthRange", lengthOf, std::min(a, b), std::max(a, b));
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::matchesRegEx(rt::Ref<fnd::RegularExpression> expression) {
    addValidatorWithName("matchesRegex", [expression](const rt::Value& v) {
        return expression && v.isString() && expression->matches(v.string()).size() == 1;
    });
    return selfAs<KZPropertyDescriptor>();
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::length(long long n) {
    return measuredWithin(*this, "length", lengthOf, n, n);
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::minLength(long long n) {
    return measuredWithin(*this, "minLength", lengthOf, n, kNoUpperBound);
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::maxLength(long long n) {
    return measuredWithin(*this, "maxLength", lengthOf, kNoLowerBound, n);
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::oneOf(rt::Value::Array values) {
    addValidatorWithName("oneOf", [values = std::move(values)](const rt::Value& v) {
        return std::any_of(values.begin(), values.end(), [&](const rt::Value& item) { return item.isEqual(v); });
    });
    return selfAs<KZPropertyDescriptor>();
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::equalTo(std::string text) {
    addValidatorWithName("equalTo", [text = std::move(text)](const rt::Value& v) { return v.isString() && v.string() == text; });
    return selfAs<KZPropertyDescriptor>();
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::min(long long n) {
    return measuredWithin(*this, "min", integerOf, n, kNoUpperBound);
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::max(long long n) {
    return measuredWithin(*this, "max", integerOf, kNoLowerBound, n);
}

rt::Ref<KZPropertyDescriptor> KZPropertyDescriptor::range(long long a, long long b) {
    return measuredWithin(*this, "range", integerOf, std::min(a, b), std::max(a, b));
}

}  // namespace zid
