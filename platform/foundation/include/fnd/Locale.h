#pragma once
// Locales (language and region conventions) over ICU, and the user's preferred
// languages as the environment states them.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fnd/IcuTypes.h>
#include <rt/Object.h>

namespace fnd {

class Locale : public rt::Object {
    RT_CLASS(Locale, rt::Object)
public:
    /// A locale from an identifier such as "en_US", "de-DE" or "ja"; the identifier is
    /// kept in ICU's canonical form ("en_US").
    explicit Locale(std::string_view identifier);
    ~Locale() override;
    static rt::Ref<Locale> withIdentifier(std::string_view identifier);

    /// The current locale: the one installed with setCurrent(), else the one the
    /// environment names (LC_ALL, LC_TIME, LANG); "en_US_POSIX" for "C" and "POSIX".
    /// Read at each call, so it follows changes.
    static rt::Ref<Locale> current();
    /// Installs a process-wide current locale (tests, hosts); nullptr goes back to the
    /// environment.
    static void setCurrent(rt::Ref<Locale> locale);

    /// The user's preferred languages, most preferred first, as language tags
    /// ("de-DE", "en"): the list in LANGUAGE, then the first of LC_ALL, LC_MESSAGES and
    /// LANG. "C" and "POSIX" are skipped; an empty result is {"en"}.
    static std::vector<std::string> preferredLanguages();

    const std::string& identifier() const { return identifier_; }
    std::string languageCode() const;
    std::string countryCode() const;
    const icu::Locale& icuLocale() const { return *icu_; }

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override { return identifier_; }

    /// "en_US.UTF-8@euro" -> "en_US"; "C" and "POSIX" -> "" (no language).
    static std::string identifierFromPosix(std::string_view posixLocale);

private:
    std::unique_ptr<icu::Locale> icu_;
    std::string identifier_;
};

}  // namespace fnd
