#include <fnd/Locale.h>

#include <unicode/locid.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>

namespace fnd {

namespace {

std::mutex& currentMutex() {
    static std::mutex m;
    return m;
}
rt::Ref<Locale>& installedCurrent() {
    static rt::Ref<Locale> locale;
    return locale;
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string toLanguageTag(std::string id) {
    std::replace(id.begin(), id.end(), '_', '-');
    return id;
}

}  // namespace

Locale::Locale(std::string_view identifier) : icu_(std::make_unique<icu::Locale>(std::string(identifier).c_str())) {
    if (icu_->isBogus()) *icu_ = icu::Locale::getRoot();
    identifier_ = icu_->getName();
}

Locale::~Locale() = default;

std::string Locale::languageCode() const { return icu_->getLanguage(); }
std::string Locale::countryCode() const { return icu_->getCountry(); }

rt::Ref<Locale> Locale::withIdentifier(std::string_view identifier) { return rt::make<Locale>(identifier); }

std::string Locale::identifierFromPosix(std::string_view posix) {
    std::string id(posix);
    if (auto at = id.find('@'); at != std::string::npos) id.erase(at);
    if (auto dot = id.find('.'); dot != std::string::npos) id.erase(dot);
    if (id == "C" || id == "POSIX") return {};
    return id;
}

rt::Ref<Locale> Locale::current() {
    {
        std::lock_guard lock(currentMutex());
        if (installedCurrent()) return installedCurrent();
    }
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        std::string value = env(name);
        if (value.empty()) continue;
        std::string id = identifierFromPosix(value);
        return withIdentifier(id.empty() ? "en_US_POSIX" : id);
    }
    return withIdentifier("en_US_POSIX");
}

void Locale::setCurrent(rt::Ref<Locale> locale) {
    std::lock_guard lock(currentMutex());
    installedCurrent() = std::move(locale);
}

std::vector<std::string> Locale::preferredLanguages() {
    std::vector<std::string> out;
    auto add = [&](const std::string& posix) {
        std::string id = identifierFromPosix(posix);
        if (id.empty()) return;
        std::string tag = toLanguageTag(id);
        if (std::find(out.begin(), out.end(), tag) == out.end()) out.push_back(tag);
    };
    std::string list = env("LANGUAGE");
    std::size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        std::size_t colon = list.find(':', start);
        add(list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value = env(name);
        if (value.empty()) continue;
        add(value);
        break;
    }
    if (out.empty()) out.push_back("en");
    return out;
}

bool Locale::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const Locale*>(&other);
    return o && o->identifier_ == identifier_;
}

std::size_t Locale::hash() const { return std::hash<std::string>()(identifier_); }

}  // namespace fnd
