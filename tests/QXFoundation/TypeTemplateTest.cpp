#include <gtest/gtest.h>

#include <string>

#include <QXFoundation/TypeTemplate/TypeTemplate.h>
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
    // A class of the computed name made by someone else is answered too.
    auto* taken = rt::Class::allocateClassPair(&View::staticClass(), "View<z=9>");
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(&zid::classWithParameters<View>(rt::Dictionary{{rt::Value("z"), rt::Value(9)}}), taken);
    EXPECT_EQ(zid::classPostfixForParameters({}), "<>");
}

}  // namespace
