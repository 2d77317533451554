#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <QXFoundation/Extensions/InvocationExtensions.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>
#include <rt/ValueBox.h>

namespace {

struct Range {
    unsigned long long location, length;
};
struct Rect {
    double x, y, w, h;
};

class Canvas : public rt::Object {
    RT_CLASS(Canvas, rt::Object)
};

using Everything = void(signed char, int, short, long long, unsigned char, unsigned, unsigned short,
                        unsigned long long, float, double, bool, rt::Value, const rt::Class*, Range);

rt::Ref<rt::Invocation> invocationOf(const rt::MethodSignature& signature) {
    auto inv = rt::Invocation::invocationWithMethodSignature(signature);
    inv->setSelector(rt::sel("test"));
    return inv;
}

TEST(InvocationBoxingTest, EveryTypeCodeBoxesToItsKindAndBack) {
    auto inv = invocationOf(rt::MethodSignature::of<Everything>());
    EXPECT_EQ(zid::numberOfArguments(*inv), 14u);
    std::size_t i = 2;
    inv->setArgument(i++, static_cast<signed char>(1));
    inv->setArgument(i++, -7);
    inv->setArgument(i++, static_cast<short>(300));
    inv->setArgument(i++, 1LL << 40);
    inv->setArgument(i++, static_cast<unsigned char>(200));
    inv->setArgument(i++, 4000000000u);
    inv->setArgument(i++, static_cast<unsigned short>(65000));
    inv->setArgument(i++, ~0ULL);
    inv->setArgument(i++, 0.25f);
    inv->setArgument(i++, 2.5);
    inv->setArgument(i++, true);
    inv->setArgument(i++, rt::Value("text"));
    inv->setArgument(i++, &Canvas::staticClass());
    inv->setArgument(i++, Range{3, 4});

    using K = rt::Number::Kind;
    const K kinds[] = {K::Char, K::Int, K::Short, K::LongLong, K::UChar, K::UInt, K::UShort, K::ULongLong, K::Float, K::Double, K::Bool};
    auto args = zid::arguments(*inv);
    ASSERT_EQ(args.size(), 14u);
    for (std::size_t k = 0; k < 11; ++k) {
        ASSERT_TRUE(args[k].isNumber()) << k;
        EXPECT_EQ(args[k].number()->kind(), kinds[k]) << k;
    }
    EXPECT_EQ(args[0].intValue(), 1);  // a "c" holding 1 is the char number 1
    EXPECT_EQ(args[1].intValue(), -7);
    EXPECT_EQ(args[7].number()->unsignedLongLongValue(), ~0ULL);
    EXPECT_TRUE(args[10].boolValue());
    EXPECT_EQ(args[11], rt::Value("text"));
    EXPECT_EQ(args[12].cls(), &Canvas::staticClass());
    auto range = args[13].as<rt::ValueBox>();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->get<Range>().length, 4u);

    // Back into a fresh invocation: every argument comes out as it went in.
    auto copy = invocationOf(rt::MethodSignature::of<Everything>());
    zid::setArguments(*copy, args);
    EXPECT_EQ(zid::arguments(*copy), args);
    EXPECT_EQ(copy->getArgument<long long>(5), 1LL << 40);
    EXPECT_EQ(copy->getArgument<float>(10), 0.25f);
    EXPECT_EQ(copy->getArgument<Range>(15).location, 3u);
}

TEST(InvocationBoxingTest, QualifiersStringsNilAndForeignBoxes) {
    // "r@" is an object; "l" and pointers are raw bytes.
    auto inv = invocationOf(rt::MethodSignature::withTypes("v@:r@iB{Range=QQ}l"));
    auto canvas = rt::make<Canvas>();
    zid::setObject(*inv, rt::Value(canvas), 0);
    EXPECT_EQ(zid::argumentObjectAtIndex(*inv, 0).object(), canvas);

    zid::setObject(*inv, rt::Value(" 42abc"), 1);
    EXPECT_EQ(inv->getArgument<int>(3), 42);
    zid::setObject(*inv, rt::Value("YES"), 2);
    EXPECT_TRUE(inv->getArgument<bool>(4));
    EXPECT_THROW(zid::setObject(*inv, rt::Value(canvas), 1), rt::Exception);

    zid::setObject(*inv, rt::Value(rt::ValueBox::of(Range{5, 6})), 3);
    auto before = zid::argumentObjectAtIndex(*inv, 3);
    zid::setObject(*inv, rt::Value("not a box"), 3);          // left as it was
    zid::setObject(*inv, rt::Value(rt::ValueBox::of(1.5)), 3);  // a box of another size: left as it was
    EXPECT_EQ(zid::argumentObjectAtIndex(*inv, 3), before);
    EXPECT_EQ(before.as<rt::ValueBox>()->typeCode(), "{Range=QQ}");

    std::int32_t l = -3;
    std::memcpy(inv->buffer(6), &l, sizeof l);
    auto boxedLong = zid::argumentObjectAtIndex(*inv, 4).as<rt::ValueBox>();
    ASSERT_TRUE(boxedLong);
    EXPECT_EQ(boxedLong->typeCode(), "l");

    // A nil object argument is the null placeholder in the array form.
    zid::setObject(*inv, rt::Value(), 0);
    EXPECT_TRUE(zid::argumentObjectAtIndex(*inv, 0).isNil());
    EXPECT_TRUE(zid::arguments(*inv)[0].isNull());
    EXPECT_THROW(zid::argumentObjectAtIndex(*inv, 5), rt::Exception);
}

TEST(InvocationBoxingTest, ResultsOfInvokedMethods) {
    const auto& cls = Canvas::staticClass();
    if (!rt::ownInstanceMethod(cls, rt::sel("bounds:")))
        rt::addMethod(cls, rt::sel("bounds:"), rt::implementation<Rect(Canvas&, double)>([](Canvas&, double s) { return Rect{0, 0, s, s * 2}; }));
    if (!rt::ownInstanceMethod(cls, rt::sel("clear")))
        rt::addMethod(cls, rt::sel("clear"), rt::implementation<void(Canvas&)>([](Canvas&) {}));
    auto canvas = rt::make<Canvas>();

    auto bounds = invocationOf(rt::findInstanceMethod(cls, rt::sel("bounds:"))->signature());
    bounds->setSelector(rt::sel("bounds:"));
    zid::setArguments(*bounds, {rt::Value(3)});
    bounds->invokeWithTarget(*canvas);
    auto rect = zid::returnValue(*bounds).as<rt::ValueBox>();
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->get<Rect>().h, 6.0);

    auto clear = invocationOf(rt::findInstanceMethod(cls, rt::sel("clear"))->signature());
    clear->setSelector(rt::sel("clear"));
    clear->invokeWithTarget(*canvas);
    EXPECT_TRUE(zid::returnValue(*clear).isNil());
    EXPECT_TRUE(zid::arguments(*clear).empty());
}

}  // namespace
