#pragma once
// Media time: a rational count of seconds (value / timescale) with flags, as playback
// engines report it, a range of such times, and a picture size.

#include <cmath>
#include <cstdint>
#include <string>

#include <rt/StructValue.h>

namespace media {

struct Time {
    enum Flags : std::uint32_t { Valid = 1u << 0, PositiveInfinity = 1u << 2, Indefinite = 1u << 4 };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;

    /// The invalid time (no time at all).
    static Time invalid() { return {}; }
    /// The time of a live stream's duration: valid but not a number of seconds.
    static Time indefinite() { return {0, 0, Valid | Indefinite}; }
    static Time zero() { return {0, 1, Valid}; }
    /// Seconds rounded to the nearest unit of the timescale; NaN gives the invalid time,
    /// an infinite number the indefinite time, a finite one beyond what 64 bits of units
    /// hold the furthest time of that sign.
    static Time seconds(double s, std::int32_t timescale = 1000);

    bool isValid() const { return (flags & Valid) != 0; }
    bool isIndefinite() const { return isValid() && (flags & Indefinite) != 0; }
    bool isNumeric() const { return isValid() && (flags & (Indefinite | PositiveInfinity)) == 0 && timescale > 0; }
    /// Seconds; NaN for an invalid or indefinite time.
    double toSeconds() const;

    friend bool operator==(const Time& a, const Time& b);
    std::string description() const;
};

struct TimeRange {
    Time start;
    Time duration;
    double startSeconds() const { return start.toSeconds(); }
    double durationSeconds() const { return duration.toSeconds(); }
    double endSeconds() const { return startSeconds() + durationSeconds(); }
    friend bool operator==(const TimeRange& a, const TimeRange& b) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool isZero() const { return width == 0 && height == 0; }
    friend bool operator==(const Size& a, const Size& b) = default;
};

}  // namespace media

// Times, ranges and sizes are value kinds of their own: they cross rt::Value (key-value
// coding, typed keys, bindings) inside the value.
template <> struct rt::StructTraits<media::Time> {
    static constexpr const char* code = "media::Time";
    static std::string describe(const media::Time& t) { return t.description(); }
    /// Equal times of different timescales hash alike.
    static std::size_t hash(const media::Time& t);
};
template <> struct rt::StructTraits<media::TimeRange> {
    static constexpr const char* code = "media::TimeRange";
    static std::string describe(const media::TimeRange& r);
    static std::size_t hash(const media::TimeRange& r);
};
template <> struct rt::StructTraits<media::Size> {
    static constexpr const char* code = "media::Size";
    static std::string describe(const media::Size& s);
};
