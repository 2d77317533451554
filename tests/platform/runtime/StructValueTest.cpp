// Structure values: kinds defined by the layer that owns the structure, kept inside
// the value, crossing key-value coding and typed keys, interpolated for animations.

#include <gtest/gtest.h>

#include <string>

#include <rt/Key.h>
#include <rt/StructValue.h>

#include "AllocationCounter.h"

namespace geo {
struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};
struct Rect {
    Point origin;
    double width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};
struct Transform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const Transform&) const = default;
};
struct Tag {  // no equality, no description: compared and shown by bytes
    std::uint32_t id;
    std::uint16_t flags;
    std::uint16_t spare;
};
}  // namespace geo

template <> struct rt::StructTraits<geo::Point> {
    static constexpr const char* code = "geo::Point";
    static std::string describe(const geo::Point& p) { return "{" + rt::Value(p.x).description() + ", " + rt::Value(p.y).description() + "}"; }
};
template <> struct rt::Interpolation<geo::Point> {
    static geo::Point interpolate(const geo::Point& a, const geo::Point& b, double t) {
        return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
    }
};
template <> struct rt::StructTraits<geo::Rect> {
    static constexpr const char* code = "geo::Rect";
};
template <> struct rt::StructTraits<geo::Transform> {
    static constexpr const char* code = "geo::Transform";
};
template <> struct rt::Interpolation<geo::Transform> {
    static geo::Transform interpolate(const geo::Transform& a, const geo::Transform& b, double t) {
        auto mix = [t](double x, double y) { return x + (y - x) * t; };
        return {mix(a.a, b.a), mix(a.b, b.b), mix(a.c, b.c), mix(a.d, b.d), mix(a.tx, b.tx), mix(a.ty, b.ty)};
    }
};
template <> struct rt::StructTraits<geo::Tag> {
    static constexpr const char* code = "geo::Tag";
};

namespace structtest {

class View : public rt::Object {
    RT_CLASS(View, rt::Object)
private:
    geo::Rect frame_;
    geo::Transform transform_;

public:
    static constexpr rt::Key<View, geo::Rect> frameKey{"frame", &View::frame_};
    static constexpr rt::Key<View, geo::Transform> transformKey{"transform", &View::transform_};
    static void describe(rt::ClassBuilder<View>& c) {
        c.property(frameKey);
        c.property(transformKey);
    }
    geo::Rect frame() const { return frameKey.get(*this); }
    void setFrame(const geo::Rect& v) { frameKey.set(*this, v); }
};

}  // namespace structtest

namespace {

using structtest::View;

TEST(StructValue, ValueStaysSmallAndHoldsSixDoublesInline) {
    static_assert(rt::Value::InlineStructBytes >= sizeof(geo::Transform));
    EXPECT_LE(sizeof(rt::Value), 56u);
    (void)rt::structTypeOf<geo::Transform>();  // the kind registers once, on first use
    alloccount::start();
    rt::Value t = rt::structValue(geo::Transform{2, 0, 0, 2, 10, 20});
    rt::Value copy = t;
    rt::Value moved = std::move(copy);
    EXPECT_EQ(alloccount::stop(), 0);
    geo::Transform out;
    ASSERT_TRUE(rt::structFrom(moved, out));
    EXPECT_EQ(out, (geo::Transform{2, 0, 0, 2, 10, 20}));
    EXPECT_EQ(moved.structCode(), "geo::Transform");
    EXPECT_TRUE(copy.isNil());  // a moved-from value is nil, never half a value

    alloccount::start();  // the counter does see allocations
    rt::Value text(std::string("a text too long to be kept inside the string object itself"));
    EXPECT_GE(alloccount::stop(), 1);
}

TEST(StructValue, AssigningScalarsOverEachOtherTakesTheWholeValue) {
    // Copy-assignment between values without a shared pointer is a plain copy: the
    // kind, the size and the bytes of the new value all replace the old ones.
    rt::Value v = rt::structValue(geo::Transform{2, 0, 0, 2, 10, 20});
    const rt::Value number(7LL), date(rt::Date{5.0}), point = rt::structValue(geo::Point{1, 2});
    v = number;
    EXPECT_TRUE(v.isNumber());
    EXPECT_EQ(v.structSize(), 0u);
    EXPECT_EQ(v.longLongValue(), 7);
    v = point;
    geo::Point p;
    ASSERT_TRUE(rt::structFrom(v, p));
    EXPECT_EQ(p, (geo::Point{1, 2}));
    EXPECT_EQ(v.structSize(), sizeof(geo::Point));
    v = date;
    EXPECT_TRUE(v.isDate());
    EXPECT_EQ(v.structTypeId(), 0u);
    rt::Value& same = v;  // self-assignment, spelled so the compiler lets it through
    v = same;
    EXPECT_TRUE(v.isEqual(date));
    v = rt::Value();
    EXPECT_TRUE(v.isNil());
    v = rt::Value(std::string("text"));  // a pointer over a scalar, then a scalar over it
    v = number;
    EXPECT_EQ(v.longLongValue(), 7);
}

TEST(StructValue, RoundTripsThroughKeyValueCodingWithoutAHeapAllocation) {
    auto view = rt::make<View>();
    geo::Rect frame{{1, 2}, 30, 40};
    (void)rt::structTypeOf<geo::Rect>();  // the kind registers once, on first use
    (void)view->valueForKey("frame");     // and the class description on first use
    alloccount::start();
    view->setValueForKey(rt::structValue(frame), "frame");
    rt::Value read = view->valueForKey("frame");
    EXPECT_EQ(alloccount::stop(), 0);
    EXPECT_EQ(view->frame(), frame);
    EXPECT_EQ(rt::fromValue<geo::Rect>(read), frame);
    EXPECT_TRUE(read.isStruct());
    // nil stores the zero structure; another kind is refused where it is written
    view->setValueForKey(rt::Value(), "frame");
    EXPECT_EQ(view->frame(), geo::Rect{});
    EXPECT_THROW(view->setValueForKey(rt::structValue(geo::Point{1, 1}), "frame"), rt::Exception);
    EXPECT_THROW(view->setValueForKey(rt::Value(3), "frame"), rt::Exception);
}

TEST(StructValue, ObserversSeeOldAndNewStructures) {
    auto view = rt::make<View>();
    std::vector<std::pair<geo::Rect, geo::Rect>> seen;
    auto token = rt::observe(view, "frame", rt::KVONew | rt::KVOOld, [&](const rt::KVOChange& c) {
        seen.emplace_back(rt::fromValue<geo::Rect>(c.oldValue), rt::fromValue<geo::Rect>(c.newValue));
    });
    view->setFrame({{0, 0}, 10, 10});
    view->setFrame({{0, 0}, 10, 10});  // equal: skipped
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, geo::Rect{});
    EXPECT_EQ(seen[0].second, (geo::Rect{{0, 0}, 10, 10}));
}

TEST(StructValue, EqualityHashingAndDescriptionFollowTheKind) {
    rt::Value a = rt::structValue(geo::Point{1, 2});
    rt::Value b = rt::structValue(geo::Point{1, 2});
    rt::Value zero = rt::structValue(geo::Point{0.0, 0});
    rt::Value negativeZero = rt::structValue(geo::Point{-0.0, 0});
    EXPECT_TRUE(a.isEqual(b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_TRUE(zero.isEqual(negativeZero));  // the structure's own ==, not its bytes
    EXPECT_EQ(zero.hash(), negativeZero.hash());
    EXPECT_FALSE(a.isEqual(rt::structValue(geo::Rect{{1, 2}, 0, 0})));  // another kind
    EXPECT_FALSE(a.isEqual(rt::Value(1)));
    EXPECT_EQ(a.description(), "{1, 2}");

    rt::Value tag = rt::structValue(geo::Tag{0x01020304, 5, 0});
    EXPECT_TRUE(tag.isEqual(rt::structValue(geo::Tag{0x01020304, 5, 0})));
    EXPECT_FALSE(tag.isEqual(rt::structValue(geo::Tag{0x01020304, 6, 0})));
    EXPECT_EQ(tag.description(), "<geo::Tag: 04030201 05000000>");

    rt::Dictionary d;
    d.set(a, rt::Value("first"));
    d.set(b, rt::Value("replaced"));
    d.set(rt::Value(1), rt::Value("number"));
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d.get(rt::structValue(geo::Point{1, 2})).string(), "replaced");
}

TEST(StructValue, KindsRegisterOnceAndSizesMustAgree) {
    EXPECT_EQ(rt::structTypeOf<geo::Point>(), rt::structTypeOf<geo::Point>());
    EXPECT_EQ(rt::detail::structTypeNamed("geo::Point"), rt::structTypeOf<geo::Point>());
    EXPECT_NE(rt::structTypeOf<geo::Point>(), rt::structTypeOf<geo::Rect>());
    rt::StructType clash;
    clash.code = "geo::Point";
    clash.size = 4;
    EXPECT_THROW(rt::detail::registerStructType(clash), rt::Exception);
    rt::StructType tooBig;
    tooBig.code = "geo::Huge";
    tooBig.size = rt::Value::InlineStructBytes + 1;
    EXPECT_THROW(rt::detail::registerStructType(tooBig), rt::Exception);
    double raw[2] = {1, 2};
    EXPECT_THROW(rt::Value::ofStruct(rt::structTypeOf<geo::Rect>(), raw, sizeof raw), rt::Exception);
}

TEST(Interpolate, NumbersDatesAndStructuresMoveOtherValuesSwitchAtTheEnd) {
    EXPECT_DOUBLE_EQ(rt::interpolate(rt::Value(0.0), rt::Value(10.0), 0.25).doubleValue(), 2.5);
    rt::Value i = rt::interpolate(rt::Value(0), rt::Value(10), 0.26);
    EXPECT_EQ(i.number()->kind(), rt::Number::Kind::Int);
    EXPECT_EQ(i.intValue(), 3);
    EXPECT_EQ(rt::interpolate(rt::Value(0u), rt::Value(10u), -0.5).number()->unsignedLongLongValue(), 0u);  // saturates
    EXPECT_DOUBLE_EQ(rt::interpolate(rt::Value(1), rt::Value(2.0), 0.5).doubleValue(), 1.5);
    EXPECT_DOUBLE_EQ(rt::interpolate(rt::Value(rt::Date{100}), rt::Value(rt::Date{200}), 0.1).date().secondsSince1970, 110);

    rt::Value p = rt::interpolate(rt::structValue(geo::Point{0, 0}), rt::structValue(geo::Point{10, -10}), 0.5);
    EXPECT_EQ(rt::fromValue<geo::Point>(p), (geo::Point{5, -5}));
    rt::Value t = rt::interpolate(rt::structValue(geo::Transform{}), rt::structValue(geo::Transform{3, 0, 0, 3, 20, 0}), 0.5);
    EXPECT_EQ(rt::fromValue<geo::Transform>(t), (geo::Transform{2, 0, 0, 2, 10, 0}));

    // A kind without an interpolation, mixed kinds, strings and bools switch at the end.
    rt::Value r1 = rt::structValue(geo::Rect{{0, 0}, 1, 1}), r2 = rt::structValue(geo::Rect{{0, 0}, 2, 2});
    EXPECT_TRUE(rt::interpolate(r1, r2, 0.9).isEqual(r1));
    EXPECT_TRUE(rt::interpolate(r1, r2, 1.0).isEqual(r2));
    EXPECT_EQ(rt::interpolate(rt::Value("a"), rt::Value("b"), 0.5).string(), "a");
    EXPECT_EQ(rt::interpolate(rt::Value(false), rt::Value(true), 0.99).boolValue(), false);
    EXPECT_TRUE(rt::interpolate(rt::structValue(geo::Point{}), r2, 0.5).isStruct());
}

// The typed interpolation trait works on plain C++ values, for typed animations.
TEST(Interpolate, TheTraitServesTypedValues) {
    EXPECT_EQ(rt::Interpolation<int>::interpolate(0, 4, 0.5), 2);
    EXPECT_EQ(rt::Interpolation<int>::interpolate(0, -5, 0.5), -3);  // nearest, away from zero on ties
    EXPECT_FLOAT_EQ(rt::Interpolation<float>::interpolate(1.f, 3.f, 0.75), 2.5f);
    static_assert(rt::Interpolable<geo::Point> && !rt::Interpolable<geo::Rect>);
}

}  // namespace
