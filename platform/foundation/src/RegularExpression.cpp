#include <fnd/RegularExpression.h>

#include <unicode/regex.h>

#include <fnd/UTF16.h>

namespace fnd {

namespace {
icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
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
                                                "The pattern \"" + std::string(pattern) + "\" is not a valid regular "
                                                "expression (" + u_errorName(status) + " at offset " +
                                                    std::to_string(parseError.offset) + ").");
        return nullptr;
    }
    return rt::make<RegularExpression>(std::string(pattern), std::move(compiled));
}

std::vector<RegexMatch> RegularExpression::find(std::string_view text, bool firstOnly) const {
    std::vector<RegexMatch> out;
    icu::UnicodeString u = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(u, status));
    if (U_FAILURE(status)) return out;
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
    return out;
}

std::optional<RegexMatch> RegularExpression::firstMatch(std::string_view text) const {
    auto all = find(text, true);
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::vector<RegexMatch> RegularExpression::matches(std::string_view text) const { return find(text, false); }

std::string RegularExpression::replacingMatches(std::string_view text, std::string_view replacementTemplate) const {
    icu::UnicodeString u = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(compiled_->matcher(u, status));
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString result = m->replaceAll(fromUtf8(replacementTemplate), status);
    if (U_FAILURE(status)) return std::string(text);
    std::string out;
    result.toUTF8String(out);
    return out;
}

}  // namespace fnd
