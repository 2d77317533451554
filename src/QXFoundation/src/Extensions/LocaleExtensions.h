#pragma once
// Language and locale identifiers of the device and the application.

#include <string>

namespace zid {

/// The first of the user's preferred languages ("de-DE").
std::string deviceLanguageID();
/// The identifier of the current locale ("de_DE").
std::string deviceLocaleID();
/// The first of the main bundle's preferred localizations ("en" when it has none).
std::string appLanguageID();
/// "es_ES", "ja_JP" or "ko_KR" for an application in Spanish, Japanese or Korean;
/// "en_US" for every other language.
std::string preferredAppLocaleID();

}  // namespace zid
