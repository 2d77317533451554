#pragma once
// Regular expressions over ICU, on UTF-8 text. Ranges are byte offsets into the text.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rt/Error.h>
#include <rt/Object.h>

#include <unicode/uversion.h>
U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

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

    /// Compiles a pattern; nullptr (and the error, when asked) for an invalid one.
    static rt::Ref<RegularExpression> make(std::string_view pattern, unsigned options = 0,
                                           rt::Ref<rt::Error>* error = nullptr);
    ~RegularExpression() override;

    const std::string& pattern() const { return pattern_; }
    std::optional<RegexMatch> firstMatch(std::string_view text) const;
    std::vector<RegexMatch> matches(std::string_view text) const;
    /// Replaces every match; "$1" in the template is a capture group, "\$" a dollar sign.
    std::string replacingMatches(std::string_view text, std::string_view replacementTemplate) const;

    explicit RegularExpression(std::string pattern, std::unique_ptr<icu::RegexPattern> compiled);

private:
    std::vector<RegexMatch> find(std::string_view text, bool firstOnly) const;
    std::string pattern_;
    std::unique_ptr<icu::RegexPattern> compiled_;
};

}  // namespace fnd
