#pragma once
// A value to whatever a fixed dictionary holds for it.

#include "ValueTransformer/ValueTransformer.h"

namespace zid {

class DictionaryValueTransformer : public ValueTransformer {
    RT_CLASS(DictionaryValueTransformer, ValueTransformer)
public:
    explicit DictionaryValueTransformer(rt::Dictionary dictionary = {}) : dictionary_(std::move(dictionary)) {}

    const rt::Dictionary& dictionary() const { return dictionary_; }
    void setDictionary(rt::Dictionary dictionary) { dictionary_ = std::move(dictionary); }

    /// The dictionary's value for the key; nil when it has none.
    rt::Value transformedValue(const rt::Value& value) const override { return dictionary_.get(value); }

private:
    rt::Dictionary dictionary_;
};

}  // namespace zid
