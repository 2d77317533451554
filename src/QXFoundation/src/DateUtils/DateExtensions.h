#pragma once
// The service's timestamps: "yyyy-MM-dd HH:mm:ss", read in Pacific time and written
// in UTC.

#include <optional>
#include <string>

#include <rt/Value.h>

namespace zid {

/// The moment of a Pacific wall-clock time ("2024-03-10 12:00:00", daylight saving
/// rules applied); nothing for nil, the null placeholder, a non-text value or a text
/// that does not match the form exactly.
std::optional<rt::Date> dateFromPSTString(const rt::Value& text);
/// The moment as "yyyy-MM-dd HH:mm:ss" in UTC, whatever the default zone.
std::string UTCFormatDate(rt::Date date);

}  // namespace zid
