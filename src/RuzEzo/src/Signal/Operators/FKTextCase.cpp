#include "Signal/Operators/FKTextCase.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <fnd/TextCase.h>

namespace zid::textcase {

namespace {

bool isWordSeparator(UChar32 c) {
    // Blanks and line terminators separate words; punctuation belongs to its word.
    return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x85 || c == 0x2028 ||
           c == 0x2029 || u_isblank(c);
}

}  // namespace

std::string uppercase(const std::string& text) { return fnd::uppercaseString(text); }

std::string lowercase(const std::string& text) { return fnd::lowercaseString(text); }

std::string capitalized(const std::string& text) {
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
    icu::UnicodeString result;
    int32_t i = 0;
    const int32_t length = source.length();
    while (i < length) {
        UChar32 c = source.char32At(i);
        if (isWordSeparator(c)) {
            result.append(c);
            i += U16_LENGTH(c);
            continue;
        }
        int32_t start = i;
        while (i < length && !isWordSeparator(source.char32At(i))) i += U16_LENGTH(source.char32At(i));
        icu::UnicodeString word(source, start, i - start);
        UChar32 first = word.char32At(0);
        icu::UnicodeString head(word, 0, U16_LENGTH(first));
        icu::UnicodeString tail(word, U16_LENGTH(first));
        // Title case of the first character alone (a whole-string title mapping that
        // does not look for the first cased letter), lower case for the rest.
        head.toTitle(nullptr, icu::Locale::getRoot(), U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_BREAK_ADJUSTMENT);
        tail.toLower(icu::Locale::getRoot());
        result.append(head).append(tail);
    }
    std::string out;
    return result.toUTF8String(out);
}

}  // namespace zid::textcase
