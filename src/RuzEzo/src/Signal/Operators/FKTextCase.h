#pragma once
// Case mapping of UTF-8 text, independent of the user's locale.

#include <string>

namespace zid::textcase {

std::string uppercase(const std::string& text);
std::string lowercase(const std::string& text);
/// Each word (a run of characters between blanks and line ends) gets its first
/// character in title case and the rest in lower case.
std::string capitalized(const std::string& text);

}  // namespace zid::textcase
