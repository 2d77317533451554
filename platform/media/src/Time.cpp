#include <media/Time.h>

#include <limits>

#include <rt/Format.h>

namespace media {

Time Time::seconds(double s, std::int32_t timescale) {
    if (std::isnan(s)) return invalid();
    if (std::isinf(s)) return s > 0 ? Time{0, 0, Valid | PositiveInfinity} : invalid();
    if (timescale <= 0) timescale = 1000;
    // A count beyond 64 bits (seconds in the hundreds of millions of years) is the
    // furthest there is: converted as it is, it would wrap round to a time before zero.
    double units = std::round(s * timescale);
    constexpr double kLimit = 9.2e18;
    if (units >= kLimit) return {std::numeric_limits<std::int64_t>::max(), timescale, Valid};
    if (units <= -kLimit) return {std::numeric_limits<std::int64_t>::min(), timescale, Valid};
    return {static_cast<std::int64_t>(units), timescale, Valid};
}

double Time::toSeconds() const {
    if (!isNumeric()) return std::nan("");
    return static_cast<double>(value) / timescale;
}

bool operator==(const Time& a, const Time& b) {
    if (a.isNumeric() && b.isNumeric()) return a.value * b.timescale == b.value * a.timescale;
    return a.flags == b.flags;
}

std::string Time::description() const {
    if (!isValid()) return "{INVALID}";
    if (isIndefinite()) return "{INDEFINITE}";
    if (!isNumeric()) return "{+INFINITY}";
    return rt::format("{%lld/%d = %.3f}", static_cast<long long>(value), timescale, toSeconds());
}

}  // namespace media

std::size_t rt::StructTraits<media::Time>::hash(const media::Time& t) {
    if (t.isNumeric()) return std::hash<double>{}(t.toSeconds());
    return std::hash<std::uint32_t>{}(t.flags);
}

std::string rt::StructTraits<media::TimeRange>::describe(const media::TimeRange& r) {
    return "{" + r.start.description() + ", " + r.duration.description() + "}";
}

std::size_t rt::StructTraits<media::TimeRange>::hash(const media::TimeRange& r) {
    return StructTraits<media::Time>::hash(r.start) * 31 + StructTraits<media::Time>::hash(r.duration);
}

std::string rt::StructTraits<media::Size>::describe(const media::Size& s) {
    return rt::format("{%g, %g}", s.width, s.height);
}
