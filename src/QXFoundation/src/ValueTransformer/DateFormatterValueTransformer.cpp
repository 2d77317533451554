#include "ValueTransformer/DateFormatterValueTransformer.h"

#include <QXFoundation/DateUtils/DateFormatterCaching.h>

namespace zid {

rt::Ref<DateFormatterValueTransformer> DateFormatterValueTransformer::transformerWithDateFormatter(
    rt::Ref<fnd::DateFormatter> formatter) {
    return rt::make<DateFormatterValueTransformer>(std::move(formatter));
}

rt::Ref<DateFormatterValueTransformer> DateFormatterValueTransformer::transformerWithDateStyle(
    fnd::DateFormatterStyle dateStyle, fnd::DateFormatterStyle timeStyle, const rt::Ref<fnd::Locale>& locale) {
    return transformerWithDateFormatter(formatterWithDateStyle(dateStyle, timeStyle, locale));
}

rt::Value DateFormatterValueTransformer::transformedValue(const rt::Value& value) const {
    if (!value.isDate() || !dateFormatter_) return {};
    return dateFormatter_->stringFromDate(value.date());
}

}  // namespace zid
