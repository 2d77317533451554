#include <gtest/gtest.h>

#include "Rules/BlockRuleCondition.h"
#include "Rules/RuleCondition.h"
#include "Rules/Ruleset.h"
#include "Rules/TypeRuleCondition.h"
#include <rt/Exception.h>

using namespace zid;

namespace {

class Animal : public rt::Object {
    RT_CLASS(Animal, rt::Object)
public:
    std::string name;
};
class Dog : public Animal {
    RT_CLASS(Dog, Animal)
};
class Robot : public rt::Object {
    RT_CLASS(Robot, rt::Object)
};

// "Barking" is adopted by dogs and robots, nothing else.
void adoptBarking() {
    static bool once = [] {
        Dog::staticClass().addProtocol("Barking");
        Robot::staticClass().addProtocol("Barking");
        return true;
    }();
    (void)once;
}

class NamedRule : public IRule {
    RT_CLASS(NamedRule, IRule)
public:
    NamedRule() = default;
    NamedRule(std::string n, rt::Ref<IRuleCondition> c) : name(std::move(n)), condition(std::move(c)) {}
    bool matchesForObject(const rt::Value& object, const rt::Value&) const override {
        return conditionMatches(condition, object);
    }
    rt::Ref<IRule> copy() const override { return rt::make<NamedRule>(name + "'", copyCondition(condition)); }
    bool isEqual(const rt::Object& other) const override {
        auto* o = dynamic_cast<const NamedRule*>(&other);
        return o && o->name == name;
    }
    std::string description() const override { return name; }
    std::string name;
    rt::Ref<IRuleCondition> condition;
};

class Unfinished : public RuleCondition {
    RT_CLASS(Unfinished, RuleCondition)
};

rt::Ref<NamedRule> rule(std::string name, rt::Ref<IRuleCondition> condition = nullptr) {
    return rt::make<NamedRule>(std::move(name), std::move(condition));
}

std::vector<std::string> names(const Ruleset& set) {
    std::vector<std::string> out;
    for (const auto& r : set.rules()) out.push_back(rt::cast<NamedRule>(r)->name);
    return out;
}

}  // namespace

TEST(RuleTest, TypeConditionsMatchClassesSubclassesAndProtocols) {
    adoptBarking();
    rt::Value dog = rt::make<Dog>(), animal = rt::make<Animal>(), robot = rt::make<Robot>();
    auto animals = RuleCondition::conditionWithClass(Animal::staticClass());
    EXPECT_TRUE(animals->matchesFor(dog));
    EXPECT_TRUE(animals->matchesFor(animal));
    EXPECT_FALSE(animals->matchesFor(robot));
    EXPECT_FALSE(animals->matchesFor(rt::Value()));
    EXPECT_FALSE(animals->matchesFor("a string"));

    auto barkers = RuleCondition::conditionWithProtocol("Barking");
    EXPECT_TRUE(barkers->matchesFor(dog));
    EXPECT_TRUE(barkers->matchesFor(robot));
    EXPECT_FALSE(barkers->matchesFor(animal));
    EXPECT_FALSE(barkers->matchesFor(rt::Value()));

    auto barkingAnimals = RuleCondition::conditionWithClass(Animal::staticClass(), "Barking");
    EXPECT_TRUE(barkingAnimals->matchesFor(dog));
    EXPECT_FALSE(barkingAnimals->matchesFor(robot));

    auto anything = rt::make<TypeRuleCondition>();
    EXPECT_TRUE(anything->matchesFor(7));
    EXPECT_FALSE(anything->matchesFor(rt::Value()));
}

TEST(RuleTest, TypeConditionsCompareDescribeAndCopy) {
    auto a = TypeRuleCondition::conditionWithClass(&Animal::staticClass(), "Barking");
    auto b = TypeRuleCondition::conditionWithClass(&Animal::staticClass(), "Barking");
    auto c = TypeRuleCondition::conditionWithClass(&Animal::staticClass(), std::nullopt);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_EQ(a->description(), "Animal<Barking>");
    EXPECT_EQ(c->description(), "Animal");
    EXPECT_EQ(TypeRuleCondition::conditionWithClass(nullptr, "Barking")->description(), "id<Barking>");
    EXPECT_EQ(rt::make<TypeRuleCondition>()->description(), "ANY");
    auto copy = a->copy();
    EXPECT_NE(copy, a);
    EXPECT_TRUE(copy->isEqual(*a));
}

TEST(RuleTest, ValueKeyPathTagAndFunctionConditions) {
    auto seven = RuleCondition::conditionWithObject(7);
    EXPECT_TRUE(seven->matchesFor(7.0));
    EXPECT_FALSE(seven->matchesFor(8));
    EXPECT_FALSE(RuleCondition::conditionWithObject(rt::Value())->matchesFor(rt::Value()));

    auto longName = RuleCondition::conditionWithMapFunction(
        [](const rt::Value& x) { return rt::Value(static_cast<long long>(x.string().size())); },
        [](const rt::Value& n) { return n.longLongValue() > 3; });
    EXPECT_TRUE(longName->matchesFor("Rex the dog"));
    EXPECT_FALSE(longName->matchesFor("Rex"));

    auto cityIsOslo = RuleCondition::conditionWithKeypath("address.city", RuleCondition::conditionWithObject("Oslo"));
    rt::Value person = rt::Dictionary{{"address", rt::Dictionary{{"city", "Oslo"}}}};
    EXPECT_TRUE(cityIsOslo->matchesFor(person));
    EXPECT_FALSE(cityIsOslo->matchesFor(rt::Dictionary{{"address", rt::Dictionary{{"city", "Rome"}}}}));
    // An object that has no such key gives the inner condition nil instead of raising.
    rt::Value robot = rt::make<Robot>();
    EXPECT_FALSE(cityIsOslo->matchesFor(robot));
    auto isNil = RuleCondition::conditionWithFunction([](const rt::Value& v) { return v.isNil(); });
    EXPECT_TRUE(RuleCondition::conditionWithKeypath("no.such.key", isNil)->matchesFor(robot));

    auto dog = rt::make<Dog>();
    auto tagged = RuleCondition::conditionWithTag("good");
    EXPECT_FALSE(tagged->matchesFor(dog));
    dog->setAssociatedObject(rt::Value(rt::Value::Array{"fluffy", "good"}), "__tags");
    EXPECT_TRUE(tagged->matchesFor(dog));
    EXPECT_FALSE(tagged->matchesFor(rt::Value()));
}

TEST(RuleTest, CombinatorsReadAMissingConditionAsAny) {
    auto yes = RuleCondition::conditionWithFunction([](const rt::Value&) { return true; });
    auto no = RuleCondition::conditionWithFunction([](const rt::Value&) { return false; });
    auto any = RuleCondition::any();
    EXPECT_EQ(any, nullptr);
    for (const rt::Value& x : {rt::Value(1), rt::Value()}) {
        EXPECT_TRUE(RuleCondition::orConditionWithCond0(any, no)->matchesFor(x));
        EXPECT_TRUE(RuleCondition::orConditionWithCond0(no, any)->matchesFor(x));
        EXPECT_FALSE(RuleCondition::andConditionWithCond0(any, no)->matchesFor(x));
        EXPECT_TRUE(RuleCondition::andConditionWithCond0(any, yes)->matchesFor(x));
        EXPECT_FALSE(RuleCondition::notConditionWithCond(any)->matchesFor(x));
        EXPECT_TRUE(RuleCondition::conditionWithMapCondition([](const rt::Value& v) { return v; }, any)->matchesFor(x));
    }
}

TEST(RuleTest, CombinatorsShortCircuit) {
    int asked = 0;
    auto counting = RuleCondition::conditionWithFunction([&](const rt::Value&) { return ++asked, true; });
    auto yes = RuleCondition::conditionWithFunction([](const rt::Value&) { return true; });
    auto no = RuleCondition::notConditionWithCond(yes);
    EXPECT_TRUE(RuleCondition::orConditionWithCond0(yes, counting)->matchesFor(1));
    EXPECT_FALSE(RuleCondition::andConditionWithCond0(no, counting)->matchesFor(1));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(RuleCondition::orConditionWithCond0(no, counting)->matchesFor(1));
    EXPECT_EQ(asked, 1);
}

TEST(RuleTest, BlockConditionsCopyTheirFunctionAndTheAbstractBaseRaises) {
    auto block = BlockRuleCondition::conditionWithFunction([](const rt::Value& v) { return v.intValue() == 3; });
    auto copy = block->copy();
    EXPECT_NE(copy, block);
    EXPECT_TRUE(copy->matchesFor(3));
    EXPECT_FALSE(rt::make<BlockRuleCondition>()->matchesFor(3));

    auto unfinished = rt::make<Unfinished>();
    try {
        unfinished->matchesFor(1);
        FAIL() << "no exception";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_NE(e.reason().find("You must override"), std::string::npos);
        EXPECT_NE(e.reason().find("Unfinished"), std::string::npos);
    }
    EXPECT_THROW(unfinished->copy(), rt::Exception);
}

TEST(RuleTest, RulesetTriesTheLastAddedFirst) {
    auto even = RuleCondition::conditionWithFunction([](const rt::Value& v) { return v.intValue() % 2 == 0; });
    auto set = rt::make<Ruleset>();
    set->addRule(rule("A"));
    set->addRule(rule("B", even));
    EXPECT_EQ(rt::cast<NamedRule>(set->ruleMatchingForObject(2, {}))->name, "B");
    EXPECT_EQ(rt::cast<NamedRule>(set->ruleMatchingForObject(3, {}))->name, "A");

    auto batch = rt::make<Ruleset>();
    batch->addRules({rule("A"), rule("B")});
    EXPECT_EQ(names(*batch), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(rt::cast<NamedRule>(batch->ruleMatchingForObject(1, {}))->name, "B");

    auto none = rt::make<Ruleset>();
    none->addRule(rule("odd", rt::make<TypeRuleCondition>(&Dog::staticClass())));
    EXPECT_FALSE(none->ruleMatchingForObject(1, {}));
}

TEST(RuleTest, RulesetInsertDeleteSnapshotAndCopy) {
    auto set = rt::make<Ruleset>();
    set->addRules({rule("C"), rule("B"), rule("A")});  // A B C
    set->insertRule(rule("X"), rule("B"));              // found by equality
    set->insertRule(rule("Z"), rule("missing"));
    set->insertRule(rule("Y"), nullptr);
    EXPECT_EQ(names(*set), (std::vector<std::string>{"A", "X", "B", "C", "Z", "Y"}));

    auto snapshot = set->rules();
    set->addRule(rule("B"));
    set->deleteRule(rule("B"));  // every equal rule goes
    EXPECT_EQ(snapshot.size(), 6u);
    EXPECT_EQ(names(*set), (std::vector<std::string>{"A", "X", "C", "Z", "Y"}));
    EXPECT_NE(set->description().find("rules = "), std::string::npos);

    auto copy = set->copy();
    EXPECT_EQ(names(*copy), (std::vector<std::string>{"A'", "X'", "C'", "Z'", "Y'"}));
    set->deleteAllRules();
    EXPECT_TRUE(set->rules().empty());
    EXPECT_EQ(copy->rules().size(), 5u);
}
