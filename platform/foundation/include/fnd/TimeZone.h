#pragma once
// Time zones over ICU's zone database.

#include <memory>
#include <string>
#include <string_view>

#include <fnd/IcuTypes.h>

#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

class TimeZone : public rt::Object {
    RT_CLASS(TimeZone, rt::Object)
public:
    ~TimeZone() override;

    /// The zone with an identifier such as "Europe/Berlin" or "UTC"; nullptr when the
    /// database has no such zone.
    static rt::Ref<TimeZone> named(std::string_view identifier);
    /// The zone a common abbreviation stands for ("PST" and "PDT" -> America/Los_Angeles,
    /// "UTC", "GMT", "EST", "CET", ...); nullptr for an unknown abbreviation.
    static rt::Ref<TimeZone> withAbbreviation(std::string_view abbreviation);
    static rt::Ref<TimeZone> utc();

    /// The zone dates are shown in unless a formatter or calendar says otherwise: the
    /// one installed with setDefault(), else the host's (read once per process).
    static rt::Ref<TimeZone> defaultTimeZone();
    /// Installs a process-wide default (tests fix it); nullptr goes back to the host's.
    static void setDefault(rt::Ref<TimeZone> zone);

    const std::string& identifier() const { return identifier_; }
    const icu::TimeZone& icuZone() const { return *zone_; }
    /// The offset from UTC in seconds at a moment (daylight saving included).
    int secondsFromGMT(rt::Date date) const;

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override { return identifier_; }

private:
    // Made by the library from an ICU zone, a type a host cannot name.
    template <class T, class... Args> friend rt::Ref<T> rt::make(Args&&... args);
    explicit TimeZone(std::unique_ptr<icu::TimeZone> zone);

    std::unique_ptr<icu::TimeZone> zone_;
    std::string identifier_;
};

}  // namespace fnd
