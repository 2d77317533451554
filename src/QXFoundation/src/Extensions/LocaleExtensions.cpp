#include "Extensions/LocaleExtensions.h"

#include <fnd/Bundle.h>
#include <fnd/Locale.h>

namespace zid {

std::string deviceLanguageID() { return fnd::Locale::preferredLanguages().front(); }

std::string deviceLocaleID() { return fnd::Locale::current()->identifier(); }

std::string appLanguageID() {
    auto localizations = fnd::Bundle::main()->preferredLocalizations();
    return localizations.empty() ? std::string("en") : localizations.front();
}

std::string preferredAppLocaleID() {
    std::string language = appLanguageID();
    if (language == "es") return "es_ES";
    if (language == "ja") return "ja_JP";
    if (language == "ko") return "ko_KR";
    return "en_US";
}

}  // namespace zid
