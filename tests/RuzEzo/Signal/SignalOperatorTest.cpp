// Operators: result values and number kinds, truth rules, conversions of every kind
// of operand, text case mapping.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <RuzEzo/Signal/FKSignal.h>
#include "../support/ValuedSignal.h"

using namespace zid;
using zidtest::valued;
using Kind = rt::Number::Kind;

namespace {

::testing::AssertionResult numberOf(const rt::Value& v, Kind kind, double expected) {
    if (!v.isNumber()) return ::testing::AssertionFailure() << v.description() << " is not a number";
    if (v.number()->kind() != kind)
        return ::testing::AssertionFailure() << "kind " << v.number()->typeCode() << " for " << v.description();
    double got = v.doubleValue();
    if (std::isnan(expected) ? !std::isnan(got) : got != expected)
        return ::testing::AssertionFailure() << "value " << got << ", expected " << expected;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ArithmeticOperators, ResultsAreDoubleNumbersFromCreation) {
    auto a = rt::make<FKSignal>(), b = rt::make<FKSignal>();
    auto sum = a->add(b);
    EXPECT_TRUE(numberOf(sum->lastValue(), Kind::Double, 0)) << "operands without value read as 0";
    a->setValue(2);
    b->setValue(0.5);
    EXPECT_TRUE(numberOf(sum->lastValue(), Kind::Double, 2.5));
    EXPECT_TRUE(numberOf(a->sub(b)->lastValue(), Kind::Double, 1.5));
    EXPECT_TRUE(numberOf(a->mul(b)->lastValue(), Kind::Double, 1));
    EXPECT_TRUE(numberOf(a->div(b)->lastValue(), Kind::Double, 4));
    EXPECT_TRUE(numberOf(a->max(b)->lastValue(), Kind::Double, 2));
    EXPECT_TRUE(numberOf(a->min(b)->lastValue(), Kind::Double, 0.5));
}

TEST(ArithmeticOperators, FloatingPointRules) {
    auto zero = valued(0), one = valued(1), nan = valued(std::nan(""));
    EXPECT_TRUE(std::isinf(one->div(zero)->lastValue().doubleValue()));
    EXPECT_TRUE(std::isnan(zero->div(zero)->lastValue().doubleValue()));
    EXPECT_TRUE(numberOf(nan->max(one)->lastValue(), Kind::Double, 1));
    EXPECT_TRUE(numberOf(one->min(nan)->lastValue(), Kind::Double, 1));
}

TEST(ArithmeticOperators, NegIsAFloatNumber) {
    auto tenth = valued(0.1);
    auto negated = tenth->neg();
    EXPECT_TRUE(numberOf(negated->lastValue(), Kind::Float, static_cast<double>(-0.1f)));
    EXPECT_NE(negated->lastValue().doubleValue(), -0.1);
    auto none = rt::make<FKSignal>();
    none->setValue(rt::Value());
    double negZero = none->neg()->lastValue().doubleValue();
    EXPECT_EQ(negZero, 0.0);
    EXPECT_TRUE(std::signbit(negZero));
}

TEST(ArithmeticOperators, EveryKindOfOperandHasAReading) {
    auto date = valued(rt::Date{100}), array = valued(rt::Value{1, 2}), text = valued(" 2.5kg"), dict = valued(rt::Dictionary{});
    EXPECT_TRUE(numberOf(date->add(text)->lastValue(), Kind::Double, 102.5));
    EXPECT_TRUE(numberOf(array->add(dict)->lastValue(), Kind::Double, 0));
    EXPECT_TRUE(numberOf(array->gt(date)->lastValue(), Kind::Int, 0));
    EXPECT_TRUE(numberOf(text->sqrt()->lastValue(), Kind::Double, std::sqrt(2.5)));
}

TEST(BooleanOperators, TruthOfValues) {
    EXPECT_FALSE(FKSignal::boolValueFor(rt::Value()));
    EXPECT_FALSE(FKSignal::boolValueFor(0));
    EXPECT_TRUE(FKSignal::boolValueFor(-1));
    EXPECT_TRUE(FKSignal::boolValueFor("0")) << "every string is true here";
    EXPECT_TRUE(FKSignal::boolValueFor(""));
    EXPECT_TRUE(FKSignal::boolValueFor(rt::Date{0}));
    EXPECT_TRUE(FKSignal::boolValueFor(rt::Value::Array{}));
}

TEST(BooleanOperators, KindsAndValues) {
    auto nil = valued(rt::Value());
    auto t = valued(true), f = valued(0), zeroText = valued("0");
    EXPECT_TRUE(numberOf(nil->not_()->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(t->not_()->lastValue(), Kind::Int, 0));
    EXPECT_TRUE(numberOf(zeroText->toBool()->lastValue(), Kind::Bool, 1));
    EXPECT_TRUE(numberOf(f->toBool()->lastValue(), Kind::Bool, 0));
    EXPECT_TRUE(numberOf(t->or_(nil)->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(f->or_(nil)->lastValue(), Kind::Int, 0));
    EXPECT_TRUE(numberOf(t->and_(zeroText)->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(t->and_(f)->lastValue(), Kind::Int, 0));
    EXPECT_TRUE(numberOf(t->xor_(f)->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(t->xor_(zeroText)->lastValue(), Kind::Int, 0));
}

TEST(BooleanOperators, EqualityAndComparisons) {
    auto a = rt::make<FKSignal>(), b = rt::make<FKSignal>();
    EXPECT_TRUE(numberOf(a->equ(b)->lastValue(), Kind::Bool, 0)) << "nil equals nothing";
    EXPECT_TRUE(numberOf(a->nequ(b)->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(a->gt(b)->lastValue(), Kind::Int, 0));
    auto equal = a->equ(b);
    auto greater = a->gt(b);
    auto less = a->lt(b);
    a->setValue(1);
    b->setValue(1.0);
    EXPECT_TRUE(numberOf(equal->lastValue(), Kind::Bool, 1));
    b->setValue(3);
    EXPECT_TRUE(numberOf(equal->lastValue(), Kind::Bool, 0));
    EXPECT_TRUE(numberOf(less->lastValue(), Kind::Int, 1));
    EXPECT_TRUE(numberOf(greater->lastValue(), Kind::Int, 0));
}

TEST(BooleanOperators, ResultFollowsBothOperandsAndHoldsThem) {
    auto a = valued(false);
    rt::Weak<FKSignal> weakB;
    FKSignalRef result;
    {
        auto b = valued(false);
        weakB = b;
        result = a->or_(b);
    }
    EXPECT_FALSE(weakB.expired()) << "a derived signal keeps its sources";
    std::vector<rt::Value> seen;
    auto sub = result->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    weakB.lock()->setValue(true);
    a->setValue(true);  // still 1: dropped
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 1}));
}

TEST(ExtendedOperators, IgnoreDropsEqualValuesOfAnyKind) {
    auto source = rt::make<FKSignal>();
    auto filtered = source->ignore(1);
    std::vector<rt::Value> seen;
    auto sub = filtered->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    source->setValue(1.0);
    source->setValue(2);
    source->setValue(rt::Value());
    source->setValue(true);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], rt::Value(2));
    EXPECT_TRUE(seen[1].isNil());

    auto noNil = source->ignore(rt::Value());
    EXPECT_EQ(noNil->lastValue(), rt::Value(true)) << "only nil is ignored there";
    source->setValue(rt::Value());
    EXPECT_EQ(noNil->lastValue(), rt::Value(true));
}

TEST(ExtendedOperators, Conversions) {
    auto num = valued(3.75);
    EXPECT_EQ(num->toStr()->lastValue(), rt::Value("3.75"));
    EXPECT_TRUE(valued(rt::Value())->toStr()->lastValue().isNil());
    EXPECT_TRUE(numberOf(num->toInt()->lastValue(), Kind::Int, 3));
    EXPECT_TRUE(numberOf(num->toFloat()->lastValue(), Kind::Float, 3.75));
    EXPECT_TRUE(numberOf(valued("12abc")->toInt()->lastValue(), Kind::Int, 12));
    EXPECT_TRUE(numberOf(valued("1.5")->toDouble()->lastValue(), Kind::Double, 1.5));
    EXPECT_TRUE(numberOf(valued(rt::Date{42.9})->toInt()->lastValue(), Kind::Int, 42));
    EXPECT_TRUE(numberOf(valued(1e30)->toInt()->lastValue(), Kind::Int, std::numeric_limits<int>::max()));
    EXPECT_TRUE(numberOf(valued(rt::Value{1})->toDouble()->lastValue(), Kind::Double, 0));
}

TEST(ExtendedOperators, TextCaseMapping) {
    EXPECT_EQ(valued("straße ǆ")->toUcase()->lastValue(), rt::Value("STRASSE Ǆ"));
    EXPECT_EQ(valued("ÀÉÎ İ")->toLcase()->lastValue(), rt::Value("àéî i̇"));
    EXPECT_EQ(valued("hello wORLD\tnew-york ǆungla")->toCapitalized()->lastValue(),
              rt::Value("Hello World\tNew-york ǅungla"));
    EXPECT_EQ(valued(12)->toUcase()->lastValue(), rt::Value("12")) << "non-text reads through its description";
    EXPECT_TRUE(valued(rt::Value())->toLcase()->lastValue().isNil());
}

TEST(ExtendedOperators, PrefixAndSuffixOrder) {
    auto value = valued("mid"), p = valued("pre-"), s = valued("-post");
    EXPECT_EQ(value->withPrefix(p)->lastValue(), rt::Value("pre-mid"));
    EXPECT_EQ(value->withSuffix(s)->lastValue(), rt::Value("mid-post"));
    EXPECT_EQ(value->withSuffix(rt::make<FKSignal>())->lastValue(), rt::Value("mid(null)"));
    EXPECT_EQ(value->withPrefix(nullptr)->lastValue(), rt::Value("(null)mid")) << "a missing signal reads as nil";
}

TEST(ExtendedOperators, TextOfValuesWithoutTextIsNil) {
    EXPECT_TRUE(valued("plain")->text()->lastValue().isNil());
    EXPECT_TRUE(valued(rt::make<FKSignal>())->text()->lastValue().isNil());
}

TEST(ExtendedOperators, SkipFirstAndSkip) {
    auto source = valued(1);
    auto afterNow = source->skipFirst();
    EXPECT_FALSE(afterNow->valueSet());
    source->setValue(2);
    EXPECT_EQ(afterNow->lastValue(), rt::Value(2));
    auto two = source->skip(2);
    source->setValue(3);
    EXPECT_FALSE(two->valueSet());
    source->setValue(4);
    EXPECT_EQ(two->lastValue(), rt::Value(4));
}

TEST(MathOperators, StandardFunctionResults) {
    auto half = valued(2.5);
    EXPECT_TRUE(numberOf(half->round()->lastValue(), Kind::Double, 3));
    EXPECT_TRUE(numberOf(half->nearbyint()->lastValue(), Kind::Double, 2));
    EXPECT_TRUE(numberOf(valued(-2.5)->round()->lastValue(), Kind::Double, -3));
    EXPECT_TRUE(numberOf(valued(0)->log()->lastValue(), Kind::Double, -INFINITY));
    EXPECT_TRUE(numberOf(valued(-1)->sqrt()->lastValue(), Kind::Double, NAN));
    EXPECT_TRUE(numberOf(valued(2)->acos()->lastValue(), Kind::Double, NAN));
    EXPECT_TRUE(numberOf(valued(rt::Value())->cos()->lastValue(), Kind::Double, 1)) << "nil reads as 0";
    EXPECT_FALSE(rt::make<FKSignal>()->cos()->valueSet()) << "no value in, no value out";
    EXPECT_TRUE(numberOf(valued(8)->log2()->lastValue(), Kind::Double, 3));
    EXPECT_TRUE(numberOf(valued(-1.5)->trunc()->lastValue(), Kind::Double, -1));
    EXPECT_TRUE(numberOf(valued(-1.5)->fabs()->lastValue(), Kind::Double, 1.5));
}

