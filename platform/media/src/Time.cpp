#include <media/Time.h>

#include <rt/Format.h>

namespace media {

Time Time::seconds(double s, std::int32_t timescale) {
    if (std::isnan(s)) return invalid();
    if (std::isinf(s)) return s > 0 ? Time{0, 0, Valid | PositiveInfinity} : invalid();
    if (timescale <= 0) timescale = 1000;
    return {static_cast<std::int64_t>(std::llround(s * timescale)), timescale, Valid};
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

namespace rt {

Value ValueTraits<media::Time>::toValue(const media::Time& t) {
    return Value(Dictionary{{Value("value"), Value(static_cast<long long>(t.value))},
                            {Value("timescale"), Value(static_cast<int>(t.timescale))},
                            {Value("flags"), Value(static_cast<unsigned>(t.flags))}});
}

media::Time ValueTraits<media::Time>::fromValue(const Value& v) {
    if (v.isNilOrNull()) return {};
    if (!v.isDictionary()) detail::raiseValueMismatch(v, "a time");
    const auto& d = v.dictionary();
    return {d.get(Value("value")).longLongValue(), static_cast<std::int32_t>(d.get(Value("timescale")).longLongValue()),
            static_cast<std::uint32_t>(d.get(Value("flags")).longLongValue())};
}

Value ValueTraits<media::TimeRange>::toValue(const media::TimeRange& r) {
    return Value(Dictionary{{Value("start"), ValueTraits<media::Time>::toValue(r.start)},
                            {Value("duration"), ValueTraits<media::Time>::toValue(r.duration)}});
}

media::TimeRange ValueTraits<media::TimeRange>::fromValue(const Value& v) {
    if (v.isNilOrNull()) return {};
    if (!v.isDictionary()) detail::raiseValueMismatch(v, "a time range");
    const auto& d = v.dictionary();
    return {ValueTraits<media::Time>::fromValue(d.get(Value("start"))),
            ValueTraits<media::Time>::fromValue(d.get(Value("duration")))};
}

Value ValueTraits<media::Size>::toValue(const media::Size& s) {
    return Value(Dictionary{{Value("width"), Value(s.width)}, {Value("height"), Value(s.height)}});
}

media::Size ValueTraits<media::Size>::fromValue(const Value& v) {
    if (v.isNilOrNull()) return {};
    if (!v.isDictionary()) detail::raiseValueMismatch(v, "a size");
    const auto& d = v.dictionary();
    return {d.get(Value("width")).doubleValue(), d.get(Value("height")).doubleValue()};
}

}  // namespace rt
