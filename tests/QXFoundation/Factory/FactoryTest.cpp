#include <gtest/gtest.h>

#include "Factory/RuleBasedFactory.h"
#include "Factory/TypeFactoryRule.h"
#include "Rules/RuleCondition.h"
#include <rt/Exception.h>

using namespace zid;

namespace factorytest {

class Widget : public rt::Object {
    RT_CLASS(Widget, rt::Object)
};
class Gadget : public rt::Object {
    RT_CLASS(Gadget, rt::Object)
};
class Gizmo : public rt::Object {
    RT_CLASS(Gizmo, rt::Object)
};

// A rule class of a host: answers a fixed text.
class TextRule : public AbstractFactoryRule {
    RT_CLASS(TextRule, AbstractFactoryRule)
public:
    rt::Value objectForObject(const rt::Value& object, const rt::Value&) override {
        return "made for " + object.description();
    }
};

rt::Ref<IRuleCondition> equals(rt::Value v) { return RuleCondition::conditionWithObject(std::move(v)); }

const rt::Class* classOf(const rt::Value& v) { return v.object() ? &v.object()->objectClass() : nullptr; }

}  // namespace factorytest

using namespace factorytest;

TEST(FactoryTest, RuleWithoutConditionsMakesANewInstanceEveryTime) {
    auto factory = rt::make<RuleBasedFactory>();
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Widget::staticClass()));
    rt::Value a = factory->createObjectFor(1, "ctx");
    rt::Value b = factory->createObjectFor(rt::Value(), rt::Value());
    EXPECT_EQ(classOf(a), &Widget::staticClass());
    EXPECT_EQ(classOf(b), &Widget::staticClass());
    EXPECT_NE(a.object(), b.object());
    EXPECT_TRUE(rt::make<TypeFactoryRule>()->objectForObject(1, 1).isNil());
}

TEST(FactoryTest, LastAddedRuleWinsAndFailingContextsAreSkipped) {
    auto factory = rt::make<RuleBasedFactory>();
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Widget::staticClass()));
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Gadget::staticClass(), equals("big")));
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Gizmo::staticClass(), equals("big"), equals("night")));
    EXPECT_EQ(classOf(factory->createObjectFor("big", "night")), &Gizmo::staticClass());
    EXPECT_EQ(classOf(factory->createObjectFor("big", "day")), &Gadget::staticClass());
    EXPECT_EQ(classOf(factory->createObjectFor("small", "night")), &Widget::staticClass());
}

TEST(FactoryTest, TheContextIsAskedBeforeTheObject) {
    int objectAsked = 0;
    auto counting = RuleCondition::conditionWithFunction([&](const rt::Value&) { return ++objectAsked, true; });
    auto rule = TypeFactoryRule::ruleWithResultClass(Widget::staticClass(), counting, equals("yes"));
    EXPECT_FALSE(rule->matchesForObject(1, "no"));
    EXPECT_EQ(objectAsked, 0);
    EXPECT_TRUE(rule->matchesForObject(1, "yes"));
    EXPECT_EQ(objectAsked, 1);
}

TEST(FactoryTest, RulesKnowTheirFactoryWhileTheyBelongToIt) {
    auto factory = rt::make<RuleBasedFactory>();
    auto a = TypeFactoryRule::ruleWithResultClass(Widget::staticClass(), equals(1));
    auto b = TypeFactoryRule::ruleWithResultClass(Gadget::staticClass(), equals(2));
    auto c = TypeFactoryRule::ruleWithResultClass(Gizmo::staticClass(), equals(3));
    factory->addRules({a, b});
    factory->insertRule(c, a);
    EXPECT_EQ(factory->ruleset()->rules(), (std::vector<rt::Ref<IRule>>{b, c, a}));
    EXPECT_EQ(a->factory(), factory);
    EXPECT_EQ(c->factory(), factory);
    EXPECT_EQ(factory->ruleForObject(3, {}), c);

    factory->deleteRule(b);
    EXPECT_EQ(b->factory(), nullptr);
    EXPECT_TRUE(factory->createObjectFor(2, {}).isNil());
    factory->deleteAllRules();
    EXPECT_EQ(a->factory(), nullptr);
    EXPECT_EQ(c->factory(), nullptr);
    EXPECT_TRUE(factory->createObjectFor(1, {}).isNil());
    EXPECT_FALSE(factory->ruleForObject(1, {}));
}

TEST(FactoryTest, ANilRuleIsRefusedWithoutTouchingTheOthers) {
    auto factory = rt::make<RuleBasedFactory>();
    auto a = TypeFactoryRule::ruleWithResultClass(Widget::staticClass(), equals(1));
    EXPECT_THROW(factory->addRule(nullptr), rt::Exception);
    EXPECT_THROW(factory->insertRule(nullptr, nullptr), rt::Exception);
    EXPECT_THROW(factory->addRules({a, nullptr}), rt::Exception);
    EXPECT_EQ(a->factory(), nullptr) << "a refused list leaves its rules alone";
    EXPECT_TRUE(factory->ruleset()->rules().empty());
    factory->deleteRule(nullptr);  // nothing to remove
    EXPECT_THROW(rt::make<Ruleset>()->addRule(nullptr), rt::Exception);
}

TEST(FactoryTest, ACopiedFactoryProducesTheSameWithRulesOfItsOwn) {
    auto factory = rt::make<RuleBasedFactory>();
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Widget::staticClass()));
    factory->addRule(TypeFactoryRule::ruleWithResultClass(Gadget::staticClass(), equals("g"), equals("c")));
    auto copy = factory->copy();
    ASSERT_EQ(copy->ruleset()->rules().size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        auto original = factory->ruleset()->rules()[i];
        auto copied = rt::cast<IFactoryRule>(copy->ruleset()->rules()[i]);
        EXPECT_NE(copied, original);
        EXPECT_EQ(copied->factory(), copy);
    }
    for (auto [object, context] : {std::pair<rt::Value, rt::Value>{"g", "c"}, {"g", "x"}, {1, rt::Value()}})
        EXPECT_EQ(classOf(copy->createObjectFor(object, context)), classOf(factory->createObjectFor(object, context)));
}

TEST(FactoryTest, HostRuleClassesAndTheAbstractBase) {
    auto factory = rt::make<RuleBasedFactory>();
    factory->addRule(AbstractFactoryRule::ruleForCondition<TextRule>(equals(5)));
    EXPECT_EQ(factory->createObjectFor(5, {}), rt::Value("made for 5"));
    auto copy = factory->copy();
    EXPECT_TRUE(rt::cast<TextRule>(copy->ruleset()->rules().front()));
    EXPECT_EQ(copy->createObjectFor(5, {}), rt::Value("made for 5"));

    auto abstract = rt::make<RuleBasedFactory>();
    abstract->addRule(AbstractFactoryRule::ruleForCondition(nullptr));
    EXPECT_THROW(abstract->createObjectFor(1, {}), rt::Exception);
}

TEST(FactoryTest, DescriptionsNameConditionsAndResultClass) {
    auto plain = TypeFactoryRule::ruleWithResultClass(Widget::staticClass(), RuleCondition::conditionWithClass(Gadget::staticClass()));
    EXPECT_TRUE(plain->description().ends_with(" Gadget  => Widget")) << plain->description();
    auto withContext = TypeFactoryRule::ruleWithResultClass(Widget::staticClass(), RuleCondition::conditionWithClass(Gadget::staticClass()),
                                                            RuleCondition::conditionWithProtocol("P"));
    EXPECT_TRUE(withContext->description().ends_with(" Gadget if context id<P> => Widget")) << withContext->description();
}
