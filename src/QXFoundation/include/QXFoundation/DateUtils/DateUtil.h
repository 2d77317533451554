#pragma once
// Weekdays: numbering (0 Sunday ... 6 Saturday), localized symbols, and bit masks of
// days (bit n for day n) to and from day numbers and English day names.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <fnd/DateFormat.h>

namespace zid {

class DateUtil {
public:
    /// The formatter of the current locale whose weekday symbols are used.
    static rt::Ref<fnd::DateFormatter> formatter();
    /// 0 ... 6.
    static std::vector<int> weekdayArray();

    /// The current locale's symbols, Sunday first.
    static std::vector<std::string> weekdaySymbols();
    static std::vector<std::string> shortWeekdaySymbols();
    static std::vector<std::string> veryShortWeekdaySymbols();
    static std::map<int, std::string> weekdayMap();
    static std::map<int, std::string> shortWeekdayMap();
    static std::map<int, std::string> veryShortWeekdayMap();

    /// "Sunday" ... "Saturday".
    static const std::vector<std::string>& daynameList();

    /// The mask of the day numbers; numbers outside 0-6 are ignored.
    static std::int64_t maskDays(const std::vector<int>& days);
    /// The mask of the English day names (exact spelling); unknown names are ignored.
    static std::int64_t maskDayNames(const std::vector<std::string>& names);
    /// The day numbers whose bits are set, ascending; bits above 6 are ignored.
    static std::vector<int> unmaskDays(std::int64_t mask);
    static std::vector<std::string> unmaskDayNames(std::int64_t mask);

    /// The symbols of the day numbers in the list's order; numbers without a symbol are
    /// left out.
    static std::vector<std::string> weekdaySymbolsForDays(const std::vector<int>& days);
    static std::vector<std::string> shortWeekdaySymbolsForDays(const std::vector<int>& days);
    static std::vector<std::string> veryShortWeekdaySymbolsForDays(const std::vector<int>& days);
    static std::vector<std::string> symbolsForDays(const std::vector<int>& days,
                                                   const std::map<int, std::string>& symbolTable);
};

}  // namespace zid
