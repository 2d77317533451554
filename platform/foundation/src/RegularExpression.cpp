#include <fnd/RegularExpression.h>

#include "IcuText.h"

#include <unicode/regex.h>

#include <fnd/Excerpt.h>
#include <fnd/UTF16.h>

namespace fnd {

namespace {
using icutext::fromUtf8;

/// At most 80 bytes of an outside text for a message, cut between characters.
std::string excerpt(std::string_view text) { return fnd::excerpt(text, 80); }

std::unique_ptr<icu::RegexMatcher> makeMatcher(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                                               std::int32_t timeLimit, UErrorCode& status) {
    std::unique_ptr<icu::RegexMatcher> m(pattern.matcher(text, status));
    if (U_SUCCESS(status) && m) m->setTimeLimit(timeLimit, status);
    return m;
}

void reportFailure(rt::Ref<rt::Error>* error, UErrorCode status, const std::string& pattern, std::int32_t limit,
                   std::size_t textSize) {
    if (!error) return;
    std::string why = status == U_REGEX_TIME_OUT ? "took longer than its time limit (" + std::to_string(limit) + " ticks)"
                      : status == U_REGEX_STACK_OVERFLOW ? "needed more backtracking memory than allowed"
                                                         : std::string("failed (") + u_errorName(status) + ")";
    *error = rt::Error::withDescription(RegularExpression::ErrorDomain, status,
                                        "Matching the pattern \"" + excerpt(pattern) + "\" on a text of " +
                                            std::to_string(textSize) + " bytes " + why + "; it gave no result.");
}
}  // namespace

RegularExpression::RegularExpression(std::string pattern, std::unique_ptr<icu::RegexPattern> compiled)
    : pattern_(std::move(pattern)), compiled_(std::move(compiled)) {}

RegularExpression::~RegularExpression() = default;

rt::Ref<RegularExpression> RegularExpression::make(std::string_view pattern, unsigned options, rt::Ref<rt::Error>* error) {
    uint32_t flags = 0;
    if (options & CaseInsensitive) flags |= UREGEX_CASE_INSENSITIVE;
    if (options & DotMatchesLineSeparators) flags |= UREGEX_DOTALL;
    if (options & AnchorsMatchLines) flags |= UREGEX_MULTILINE;
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(fromUtf8(pattern), flags, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        if (error)
            *error = rt::Error::withDescription(ErrorDomain, status,
                                                "The pattern \"" + excerpt(pattern) + "\" is not a valid regular "
                                                "expression (" + u_errorName(status) + " at offset " +
                                                    std::to_string(parseError.offset) + ").");
        return nullptr;
    }
    return rt::make<RegularExpression>(std::string(pattern), std::move(compiled));
}

std::vector<RegexMatch> RegularExpression::find(std::string_view text, bool firstOnly, rt::Ref<rt::Error>* error) const {
    std::vector<RegexMatch> out;
    icu::UnicodeString u = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    auto m = makeMatcher(*compiled_, u, timeLimit_, status);
    if (U_FAILURE(status)) {
        reportFailure(error, status, pattern_, timeLimit_, text.size());
        return out;
    }
    UTF16Offsets offsets(text);
    auto range = [&](int32_t start, int32_t end) {
        std::size_t s = offsets.byteOffset(static_cast<std::size_t>(start));
        return TextRange{s, offsets.byteOffset(static_cast<std::size_t>(end)) - s};
    };
    while (m->find(status) && U_SUCCESS(status)) {
        RegexMatch match;
        match.range = range(m->start(status), m->end(status));
        for (int32_t g = 1; g <= m->groupCount(); ++g) {
            int32_t s = m->start(g, status);
            if (s < 0) match.groups.emplace_back(std::nullopt);
            else match.groups.emplace_back(range(s, m->end(g, status)));
        }
        out.push_back(std::move(match));
        if (firstOnly) break;
    }
    if (U_FAILURE(status)) {
        // A time-out part way through: the matches so far are not the answer.
        reportFailure(error, status, pattern_, timeLimit_, text.size());
        out.clear();
    }
    return out;
}

std::optional<RegexMatch> RegularExpression::firstMatch(std::string_view text, rt::Ref<rt::Error>* error) const {
    auto all = find(text, true, error);
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::vector<RegexMatch> RegularExpression::matches(std::string_view text, rt::Ref<rt::Error>* error) const {
    return find(text, false, error);
}

std::string RegularExpression::replacingMatches(std::string_view text, std::string_view replacementTemplate,
                                                rt::Ref<rt::Error>* error) const {
    icu::UnicodeString u = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    auto m = makeMatcher(*compiled_, u, timeLimit_, status);
    if (U_SUCCESS(status)) {
        // replaceAll() searches without a status and so cannot report a time-out:
        // the same loop, each search with its status.
        const icu::UnicodeString replacement = fromUtf8(replacementTemplate);
        icu::UnicodeString result;
        while (m->find(status) && U_SUCCESS(status)) {
            m->appendReplacement(result, replacement, status);
            if (U_FAILURE(status)) break;
        }
        if (U_SUCCESS(status)) m->appendTail(result);
        if (U_SUCCESS(status)) {
            return icutext::toUtf8(result);
        }
    }
    reportFailure(error, status, pattern_, timeLimit_, text.size());
    return std::string(text);
}

}  // namespace fnd
