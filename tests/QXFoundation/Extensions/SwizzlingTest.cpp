#include <gtest/gtest.h>

#include <string>

#include "Extensions/MethodSwizzling.h"
#include <rt/Exception.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>

namespace swizzlingtest {

class Widget : public rt::Object {
    RT_CLASS(Widget, rt::Object)
public:
    std::string trail;
};

rt::Imp append(const char* text, const char* thenSend = nullptr) {
    return rt::implementation<void(Widget&)>([text, thenSend](Widget& w) {
        w.trail += text;
        if (thenSend) rt::send(w, rt::sel(thenSend));
    });
}

rt::Ref<Widget> widgetOf(const rt::Class& cls) {
    auto w = rt::make<Widget>();
    w->setObjectClass(cls);
    return w;
}

TEST(SwizzlingTest, OnASubclassThatInheritsTheTargetTheSuperclassIsUntouched) {
    auto* base = rt::Class::allocateClassPair(&Widget::staticClass(), "SwizzleBaseA");
    auto* sub = rt::Class::allocateClassPair(base, "SwizzleSubA");
    rt::addMethod(*base, rt::sel("layout"), append("base;"));
    // The replacement does its part, then reaches the original through its own selector.
    rt::addMethod(*sub, rt::sel("layout_x"), append("x;", "layout_x"));

    zid::swizzleSelector(rt::sel("layout"), rt::sel("layout_x"), *sub);

    auto s = widgetOf(*sub);
    rt::send(*s, rt::sel("layout"));
    EXPECT_EQ(s->trail, "x;base;");
    auto b = widgetOf(*base);
    rt::send(*b, rt::sel("layout"));
    EXPECT_EQ(b->trail, "base;");
    EXPECT_EQ(rt::ownInstanceMethod(*base, rt::sel("layout_x")), nullptr);
}

TEST(SwizzlingTest, OwnMethodsExchangeImplementationsAndKeepTypes) {
    auto* cls = rt::Class::allocateClassPair(&Widget::staticClass(), "SwizzleOwnB");
    rt::addMethod(*cls, rt::sel("draw"), append("draw;"));
    rt::addMethod(*cls, rt::sel("draw_x"), append("x;", "draw_x"));
    zid::swizzleSelector(rt::sel("draw"), rt::sel("draw_x"), *cls);
    auto w = widgetOf(*cls);
    rt::send(*w, rt::sel("draw"));
    EXPECT_EQ(w->trail, "x;draw;");
    w->trail.clear();
    rt::send(*w, rt::sel("draw_x"));
    EXPECT_EQ(w->trail, "draw;");
    // Exchanging back restores both.
    zid::swizzleSelector(rt::sel("draw"), rt::sel("draw_x"), *cls);
    w->trail.clear();
    rt::send(*w, rt::sel("draw"));
    EXPECT_EQ(w->trail, "draw;");
}

TEST(SwizzlingTest, ClassMethodsLikewise) {
    auto* base = rt::Class::allocateClassPair(&Widget::staticClass(), "SwizzleStaticBaseC");
    auto* sub = rt::Class::allocateClassPair(base, "SwizzleStaticSubC");
    rt::addClassMethod(*base, rt::sel("kind"), rt::implementation<std::string(const rt::Class&)>([](const rt::Class&) { return std::string("base"); }));
    rt::addClassMethod(*sub, rt::sel("kind_x"), rt::implementation<std::string(const rt::Class&)>([](const rt::Class& c) {
                           return "x+" + rt::sendClass<std::string>(c, rt::sel("kind_x"));
                       }));
    zid::swizzleStaticSelector(rt::sel("kind"), rt::sel("kind_x"), *sub);
    EXPECT_EQ(rt::sendClass<std::string>(*sub, rt::sel("kind")), "x+base");
    EXPECT_EQ(rt::sendClass<std::string>(*base, rt::sel("kind")), "base");
}

TEST(SwizzlingTest, AMissingMethodRaisesAndChangesNothing) {
    auto* cls = rt::Class::allocateClassPair(&Widget::staticClass(), "SwizzleMissingD");
    rt::addMethod(*cls, rt::sel("present"), append("present;"));
    try {
        zid::swizzleSelector(rt::sel("present"), rt::sel("absent"), *cls);
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.reason(), "Cannot exchange -[SwizzleMissingD absent]: the class has no such method");
    }
    EXPECT_THROW(zid::swizzleSelector(rt::sel("absent"), rt::sel("present"), *cls), rt::Exception);
    EXPECT_THROW(zid::swizzleStaticSelector(rt::sel("present"), rt::sel("present"), *cls), rt::Exception);
    auto w = widgetOf(*cls);
    rt::send(*w, rt::sel("present"));
    EXPECT_EQ(w->trail, "present;");
    EXPECT_FALSE(rt::respondsToSelector(*w, rt::sel("absent")));
}

}  // namespace swizzlingtest
