#include <QXFoundation/DateUtils/DateUtil.h>

#include <algorithm>

#include <QXFoundation/DateUtils/DateFormatterCaching.h>

namespace zid {

namespace {
std::map<int, std::string> toMap(const std::vector<std::string>& symbols) {
    std::map<int, std::string> map;
    for (std::size_t i = 0; i < symbols.size() && i < 7; ++i) map[static_cast<int>(i)] = symbols[i];
    return map;
}
}  // namespace

rt::Ref<fnd::DateFormatter> DateUtil::formatter() {
    return formatterWithDateStyle(fnd::DateFormatterStyle::None, fnd::DateFormatterStyle::None);
}

std::vector<int> DateUtil::weekdayArray() { return {0, 1, 2, 3, 4, 5, 6}; }

std::vector<std::string> DateUtil::weekdaySymbols() { return formatter()->weekdaySymbols(); }
std::vector<std::string> DateUtil::shortWeekdaySymbols() { return formatter()->shortWeekdaySymbols(); }
std::vector<std::string> DateUtil::veryShortWeekdaySymbols() { return formatter()->veryShortWeekdaySymbols(); }
std::map<int, std::string> DateUtil::weekdayMap() { return toMap(weekdaySymbols()); }
std::map<int, std::string> DateUtil::shortWeekdayMap() { return toMap(shortWeekdaySymbols()); }
std::map<int, std::string> DateUtil::veryShortWeekdayMap() { return toMap(veryShortWeekdaySymbols()); }

const std::vector<std::string>& DateUtil::daynameList() {
    static const std::vector<std::string> names = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                   "Thursday", "Friday", "Saturday"};
    return names;
}

std::int64_t DateUtil::maskDays(const std::vector<int>& days) {
    std::int64_t mask = 0;
    for (int day : days)
        if (day >= 0 && day <= 6) mask |= std::int64_t{1} << day;
    return mask;
}

std::int64_t DateUtil::maskDayNames(const std::vector<std::string>& names) {
    std::vector<int> days;
    const auto& list = daynameList();
    for (const auto& name : names) {
        auto it = std::find(list.begin(), list.end(), name);
        if (it != list.end()) days.push_back(static_cast<int>(it - list.begin()));
    }
    return maskDays(days);
}

std::vector<int> DateUtil::unmaskDays(std::int64_t mask) {
    std::vector<int> days;
    for (int day = 0; day <= 6; ++day)
        if (mask & (std::int64_t{1} << day)) days.push_back(day);
    return days;
}

std::vector<std::string> DateUtil::unmaskDayNames(std::int64_t mask) {
    std::vector<std::string> names;
    for (int day : unmaskDays(mask)) names.push_back(daynameList()[static_cast<std::size_t>(day)]);
    return names;
}

std::vector<std::string> DateUtil::symbolsForDays(const std::vector<int>& days,
                                                  const std::map<int, std::string>& symbolTable) {
    std::vector<std::string> out;
    for (int day : days)
        if (auto it = symbolTable.find(day); it != symbolTable.end()) out.push_back(it->second);
    return out;
}

std::vector<std::string> DateUtil::weekdaySymbolsForDays(const std::vector<int>& days) {
    return symbolsForDays(days, weekdayMap());
}
std::vector<std::string> DateUtil::shortWeekdaySymbolsForDays(const std::vector<int>& days) {
    return symbolsForDays(days, shortWeekdayMap());
}
std::vector<std::string> DateUtil::veryShortWeekdaySymbolsForDays(const std::vector<int>& days) {
    return symbolsForDays(days, veryShortWeekdayMap());
}

}  // namespace zid
