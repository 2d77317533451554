#include <gtest/gtest.h>

#include <string>

#include "TypeTemplate/TypeTemplate.h"
#include <rt/Exception.h>

namespace {

class View : public rt::Object {
    RT_CLASS(View, rt::Object)
};

TEST(TypeTemplateTest, EqualRequestsShareOneSpecialisedClass) {
    rt::Dictionary params{{rt::Value("b"), rt::Value(2)}, {rt::Value("a"), rt::Value("x")}};
    const auto& cls = zid::classWithParameters<View>(params);
    EXPECT_EQ(cls.name(), "View<a=x, b=2>");
    EXPECT_EQ(cls.superclass(), &View::staticClass());
    EXPECT_EQ(&zid::classWithParameters<View>(rt::Dictionary{{rt::Value("b"), rt::Value(2)}, {rt::Value("a"), rt::Value("x")}}), &cls);
    EXPECT_EQ(zid::parameterForName(cls, "a"), rt::Value("x"));
    EXPECT_EQ(zid::parameterForName(cls, "b"), rt::Value(2));
    EXPECT_TRUE(zid::parameterForName(cls, "missing").isNil());
    auto instance = cls.instantiate();
    ASSERT_TRUE(instance);
    EXPECT_TRUE(instance->isKindOf(View::staticClass()));
    EXPECT_EQ(instance->className(), "View<a=x, b=2>");
}

TEST(TypeTemplateTest, TheTemplateClassItselfHasNoParameters) {
    try {
        zid::parameterForName(View::staticClass(), "a");
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must override parameterForName: in a subclass of View");
    }
}

TEST(TypeTemplateTest, ADifferentRequestNamingAnExistingClassAnswersThatClass) {
    // 1 and 1.0 describe differently in the dictionary but print alike in the name.
    const auto& first = zid::classWithParameters<View>(rt::Dictionary{{rt::Value("n"), rt::Value(1)}});
    const auto& second = zid::classWithParameters<View>(rt::Dictionary{{rt::Value("n"), rt::Value(1.0)}});
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(zid::classPostfixForParameters({}), "<>");
}

class Other : public rt::Object {
    RT_CLASS(Other, rt::Object)
};

void expectRefused(const rt::Class& cls, const rt::Dictionary& params) {
    try {
        zid::classWithParameters(cls, params);
        ADD_FAILURE() << "answered a class that does not hold these parameters";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_NE(e.reason().find("View<"), std::string::npos) << e.reason();
    }
}

TEST(TypeTemplateTest, ANameTakenByAClassThatDoesNotMatchIsRefused) {
    // Same superclass, but made by someone else: it answers no parameters.
    auto* taken = rt::Class::allocateClassPair(&View::staticClass(), "View<z=9>");
    ASSERT_NE(taken, nullptr);
    expectRefused(View::staticClass(), rt::Dictionary{{rt::Value("z"), rt::Value(9)}});

    // Another superclass under the name the request computes.
    ASSERT_NE(rt::Class::allocateClassPair(&Other::staticClass(), "View<w=1>"), nullptr);
    expectRefused(View::staticClass(), rt::Dictionary{{rt::Value("w"), rt::Value(1)}});

    // Other parameters that print alike: the string "5" and the number 5.
    const auto& numeric = zid::classWithParameters<View>(rt::Dictionary{{rt::Value("v"), rt::Value(5)}});
    expectRefused(View::staticClass(), rt::Dictionary{{rt::Value("v"), rt::Value("5")}});
    // The refusal leaves the real specialisation in place.
    EXPECT_EQ(&zid::classWithParameters<View>(rt::Dictionary{{rt::Value("v"), rt::Value(5)}}), &numeric);
    EXPECT_EQ(zid::parameterForName(numeric, "v"), rt::Value(5));
}

}  // namespace
