#pragma once
// Case mapping and case-blind comparison of UTF-8 text, by the rules of a language
// (Turkish dotted and dotless i, German sharp s, ...).

#include <string>
#include <string_view>

#include <fnd/Locale.h>

namespace fnd {

/// nullptr: the language-independent rules.
std::string uppercaseString(std::string_view text, const Locale* locale = nullptr);
std::string lowercaseString(std::string_view text, const Locale* locale = nullptr);
/// The first letter of each word in upper case, the rest in lower case.
std::string capitalizedString(std::string_view text, const Locale* locale = nullptr);
/// -1, 0 or 1 comparing the case-folded texts.
int caseInsensitiveCompare(std::string_view a, std::string_view b);

}  // namespace fnd
