#pragma once
// Regular expressions over ICU, on UTF-8 text. Ranges are byte offsets into the text
// (a malformed sequence is one character, as ICU reads it).
//
// Every match runs under a time limit, so a pattern that backtracks without end on
// some outside text cannot hang its caller: the call answers no result and, when
// asked, an error of RegularExpressionErrorDomain with code U_REGEX_TIME_OUT.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rt/Error.h>
#include <rt/Object.h>

#include <fnd/IcuTypes.h>

namespace fnd {

struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

struct RegexMatch {
    TextRange range;
    /// Capture groups 1..n; a group that took no part is nothing.
    std::vector<std::optional<TextRange>> groups;
};

class RegularExpression : public rt::Object {
    RT_CLASS(RegularExpression, rt::Object)
public:
    enum Options : unsigned { CaseInsensitive = 1u << 0, DotMatchesLineSeparators = 1u << 1, AnchorsMatchLines = 1u << 2 };
    static constexpr const char* ErrorDomain = "RegularExpressionErrorDomain";

    /// ICU's match-engine ticks (each roughly a millisecond of work on current
    /// machines; counted in steps, so the limit does not depend on the clock or load).
    static constexpr std::int32_t DefaultTimeLimit = 1000;

    /// Compiles a pattern; nullptr (and the error, when asked) for an invalid one.
    static rt::Ref<RegularExpression> make(std::string_view pattern, unsigned options = 0,
                                           rt::Ref<rt::Error>* error = nullptr);
    ~RegularExpression() override;

    const std::string& pattern() const { return pattern_; }
    /// The limit of each call, in ticks; at least 1 (no call runs unbounded).
    std::int32_t timeLimit() const { return timeLimit_; }
    void setTimeLimit(std::int32_t ticks) { timeLimit_ = ticks < 1 ? 1 : ticks; }

    // When a call fails (the time limit, ICU's backtracking memory limit) it answers
    // nothing, no matches or the text unchanged, and sets *error when asked.
    std::optional<RegexMatch> firstMatch(std::string_view text, rt::Ref<rt::Error>* error = nullptr) const;
    std::vector<RegexMatch> matches(std::string_view text, rt::Ref<rt::Error>* error = nullptr) const;
    /// Replaces every match; "$1" in the template is a capture group, "\$" a dollar sign.
    std::string replacingMatches(std::string_view text, std::string_view replacementTemplate,
                                 rt::Ref<rt::Error>* error = nullptr) const;

private:
    // Made by make() from ICU's compiled pattern, a type a host cannot name.
    template <class T, class... Args> friend rt::Ref<T> rt::make(Args&&... args);
    explicit RegularExpression(std::string pattern, std::unique_ptr<icu::RegexPattern> compiled);

    std::vector<RegexMatch> find(std::string_view text, bool firstOnly, rt::Ref<rt::Error>* error) const;
    std::string pattern_;
    std::int32_t timeLimit_ = DefaultTimeLimit;
    std::unique_ptr<icu::RegexPattern> compiled_;
};

}  // namespace fnd
