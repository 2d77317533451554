// The class registry's names and the rule that objects come only from rt::make.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <rt/Exception.h>
#include <rt/Object.h>

namespace regtest::ui {
class Image : public rt::Object {
    RT_CLASS(Image, rt::Object)
    int width = 3;  // public: RT_CLASS leaves the body open
};
}  // namespace regtest::ui

namespace regtest::media {
class Image : public rt::Object {
    RT_CLASS(Image, rt::Object)
};

// Makes another object while being made, and can fail after its root part exists.
class Nested : public rt::Object {
    RT_CLASS(Nested, rt::Object)
    explicit Nested(bool fail) : inner(rt::make<Image>()) {
        if (fail) throw std::runtime_error("constructor failed");
    }
    rt::Ref<Image> inner;
};

class Throwing : public rt::Object {
    RT_CLASS(Throwing, rt::Object)
};

struct Base {
    Base() { made = rt::make<Image>(); }  // a base before rt::Object that makes objects itself
    rt::Ref<Image> made;
};
class Mixed : public Base, public rt::Object {
    RT_CLASS(Mixed, rt::Object)
};
}  // namespace regtest::media

namespace {

using regtest::media::Nested;

TEST(ClassRegistry, ClassesOfOneNameInDifferentNamespacesBothRegister) {
    const rt::Class& ui = regtest::ui::Image::staticClass();
    const rt::Class& media = regtest::media::Image::staticClass();
    EXPECT_NE(&ui, &media);
    EXPECT_EQ(ui.name(), "Image");
    EXPECT_EQ(media.name(), "Image");
    EXPECT_EQ(ui.qualifiedName(), "regtest::ui::Image");
    EXPECT_EQ(media.qualifiedName(), "regtest::media::Image");
    EXPECT_EQ(rt::Class::named("regtest::ui::Image"), &ui);
    EXPECT_EQ(rt::Class::named("regtest::media::Image"), &media);
    EXPECT_EQ(rt::make<regtest::ui::Image>()->className(), "Image");
    EXPECT_EQ(rt::make<regtest::ui::Image>()->width, 3);
    EXPECT_EQ(rt::Object::staticClass().qualifiedName(), "rt::Object");
}

TEST(ClassRegistry, ASecondClassOfTheSameQualifiedNameIsRefusedLoudly) {
    rt::Class::describe("Unique", "regtest::Unique", &rt::Object::staticClass(), nullptr);
    try {
        rt::Class::describe("Unique", "regtest::Unique", &rt::Object::staticClass(), nullptr);
        FAIL() << "the second class was accepted";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_NE(std::string(e.what()).find("regtest::Unique"), std::string::npos);
    }
    // A run-time class cannot take a compiled class's name either.
    EXPECT_EQ(rt::Class::allocateClassPair(&rt::Object::staticClass(), "regtest::Unique"), nullptr);
}

TEST(MakeOnly, AnObjectBuiltOutsideMakeIsRefused) {
    EXPECT_THROW(regtest::media::Throwing(), rt::Exception);
    EXPECT_THROW((void)std::make_shared<regtest::media::Throwing>(), rt::Exception);
    EXPECT_THROW(delete new regtest::media::Throwing(), rt::Exception);
    EXPECT_TRUE(rt::make<regtest::media::Throwing>());
}

TEST(MakeOnly, ObjectsMadeWhileMakingAndFailedConstructorsLeaveTheRuleIntact) {
    auto nested = rt::make<Nested>(false);
    ASSERT_TRUE(nested->inner);
    EXPECT_TRUE(nested->inner->self());
    EXPECT_THROW(rt::make<Nested>(true), std::runtime_error);
    auto mixed = rt::make<regtest::media::Mixed>();
    EXPECT_TRUE(mixed->made);
    EXPECT_TRUE(mixed->self());
    // None of that left a permission behind.
    EXPECT_THROW(regtest::media::Throwing(), rt::Exception);
}

}  // namespace
