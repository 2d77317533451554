// Regular expressions run on outside text (chat lines, titles), and some patterns
// come from configuration. Input: one byte of options, the pattern, NUL, the subject.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <fnd/RegularExpression.h>
#include <fnd/UTF16.h>

#include <unicode/unistr.h>

#include "FuzzInput.h"

namespace {

void checkRange(const fnd::TextRange& range, std::size_t size) {
    if (range.location > size || range.length > size - range.location) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zidfuzz::FuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::string pattern(input.field());
    const std::string subject(input.rest());
    input.reached();

    // Offsets are counted the way ICU converts the text.
    const auto units = icu::UnicodeString::fromUTF8(subject).length();
    if (fnd::utf16Length(subject) != static_cast<std::size_t>(units)) std::abort();

    rt::Ref<rt::Error> error;
    auto re = fnd::RegularExpression::make(pattern, options & 7u, &error);
    if (!re) {
        if (!error || error->localizedDescription().size() > 400) std::abort();
        return 0;
    }
    re->setTimeLimit(20);  // a runaway match must end here, reported as an error
    error = nullptr;
    auto first = re->firstMatch(subject, &error);
    if (first) {
        checkRange(first->range, subject.size());
        for (const auto& group : first->groups) {
            if (group) checkRange(*group, subject.size());
        }
    }
    error = nullptr;
    for (const auto& match : re->matches(subject, &error)) checkRange(match.range, subject.size());
    error = nullptr;
    std::string replaced = re->replacingMatches(subject, "<$0>", &error);
    if (error && replaced != subject) std::abort();  // a failed replacement changes nothing
    return 0;
}
