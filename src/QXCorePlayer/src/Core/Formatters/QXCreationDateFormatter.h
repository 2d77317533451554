#pragma once
// Relative texts for the creation date of a recorded video ("3 days ago", "yesterday at
// 14:05"), with or without the channel's title. The wording comes from the player's
// resource bundle. A date ahead of now (a skewed clock) reads as just made.
#include <rt/Value.h>

#include <optional>
#include <string>

namespace zid {

class QXCreationDateFormatter {
public:
    static std::optional<std::string> creationDateToText(std::optional<rt::Date> date, const std::string& channelTitle);
    static std::optional<std::string> creationDateToText(std::optional<rt::Date> date);
    /// The same against a given moment (tests).
    static std::optional<std::string> creationDateToText(std::optional<rt::Date> date, const std::string* channelTitle,
                                                         rt::Date now);
};

/// How long ago a live broadcast started ("started 2 hours 5 minutes ago").
class QXStartedDateFormatter {
public:
    static std::optional<std::string> startDateToText(std::optional<rt::Date> date);
    static std::optional<std::string> startDateToText(std::optional<rt::Date> date, rt::Date now);
};

}  // namespace zid
