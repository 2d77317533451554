#include <fnd/TextCase.h>

#include "IcuText.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace fnd {

namespace {

using icutext::fromUtf8;
using icutext::toUtf8;

const icu::Locale& rulesOf(const Locale* locale) { return locale ? locale->icuLocale() : icu::Locale::getRoot(); }

}  // namespace

std::string uppercaseString(std::string_view text, const Locale* locale) {
    return toUtf8(fromUtf8(text).toUpper(rulesOf(locale)));
}

std::string lowercaseString(std::string_view text, const Locale* locale) {
    return toUtf8(fromUtf8(text).toLower(rulesOf(locale)));
}

std::string capitalizedString(std::string_view text, const Locale* locale) {
    return toUtf8(fromUtf8(text).toTitle(nullptr, rulesOf(locale)));
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) {
    int8_t r = fromUtf8(a).caseCompare(fromUtf8(b), U_FOLD_CASE_DEFAULT);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace fnd
