#pragma once
// A date to its text through one date formatter.

#include "ValueTransformer/ValueTransformer.h"
#include <fnd/DateFormat.h>

namespace zid {

class DateFormatterValueTransformer : public ValueTransformer {
    RT_CLASS(DateFormatterValueTransformer, ValueTransformer)
public:
    explicit DateFormatterValueTransformer(rt::Ref<fnd::DateFormatter> dateFormatter = nullptr)
        : dateFormatter_(std::move(dateFormatter)) {}

    static rt::Ref<DateFormatterValueTransformer> transformerWithDateFormatter(rt::Ref<fnd::DateFormatter> formatter);
    /// With the cached formatter for the styles and locale (nullptr: the current locale).
    static rt::Ref<DateFormatterValueTransformer> transformerWithDateStyle(fnd::DateFormatterStyle dateStyle,
                                                                           fnd::DateFormatterStyle timeStyle,
                                                                           const rt::Ref<fnd::Locale>& locale = nullptr);

    const rt::Ref<fnd::DateFormatter>& dateFormatter() const { return dateFormatter_; }
    void setDateFormatter(rt::Ref<fnd::DateFormatter> formatter) { dateFormatter_ = std::move(formatter); }

    /// The formatter's text for a date; nil for nil, a non-date or no formatter.
    rt::Value transformedValue(const rt::Value& value) const override;

private:
    rt::Ref<fnd::DateFormatter> dateFormatter_;
};

}  // namespace zid
