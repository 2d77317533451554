#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <rt/Block.h>
#include <rt/Error.h>
#include <rt/Exception.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace {

std::vector<std::string> events;

class Tracked : public rt::Object {
    RT_CLASS(Tracked, rt::Object)
public:
    ~Tracked() override { events.push_back("destructor"); }
    std::string name = "tracked";

protected:
    void willDestroy() override {
        // The object is whole here: virtual calls and fields still work.
        events.push_back("willDestroy " + name + " " + className());
    }
};

class TrackedChild : public Tracked {
    RT_CLASS(TrackedChild, Tracked)
};

TEST(ObjectTest, PreDestructionRunsWhileWholeAndAfterWeakReferencesEmpty) {
    events.clear();
    auto object = rt::make<TrackedChild>();
    rt::Weak<TrackedChild> weak = object;
    object->addPreDestructionHandler([&](rt::Object& o) {
        events.push_back(std::string("handler weak=") + (weak.lock() ? "alive" : "empty") + " " + o.className());
        EXPECT_TRUE(o.isBeingDestroyed());
        EXPECT_EQ(o.self(), nullptr);
    });
    object->addPreDestructionHandler([&](rt::Object&) { events.push_back("second handler"); });
    object.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"handler weak=empty TrackedChild", "second handler",
                                                "willDestroy tracked TrackedChild", "destructor"}));
}

TEST(ObjectTest, RemovedPreDestructionHandlerDoesNotRun) {
    events.clear();
    auto object = rt::make<Tracked>();
    auto id = object->addPreDestructionHandler([](rt::Object&) { events.push_back("removed"); });
    object->removePreDestructionHandler(id);
    object.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"willDestroy tracked Tracked", "destructor"}));
}

TEST(ObjectTest, ClassDescriptions) {
    auto child = rt::make<TrackedChild>();
    EXPECT_EQ(child->className(), "TrackedChild");
    EXPECT_TRUE(child->isKindOf(Tracked::staticClass()));
    EXPECT_TRUE(child->isKindOf(rt::Object::staticClass()));
    EXPECT_FALSE(child->isMemberOf(Tracked::staticClass()));
    EXPECT_EQ(TrackedChild::staticClass().superclass(), &Tracked::staticClass());
    EXPECT_EQ(rt::Class::named("TrackedChild"), &TrackedChild::staticClass());
    // registration happens once
    EXPECT_EQ(&TrackedChild::staticClass(), &TrackedChild::staticClass());
    auto made = rt::Class::named("TrackedChild")->instantiate();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->className(), "TrackedChild");
}

TEST(ObjectTest, ProtocolConformanceIsInherited) {
    Tracked::staticClass().addProtocol("ITrackable");
    auto child = rt::make<TrackedChild>();
    EXPECT_TRUE(child->conformsTo("ITrackable"));
    EXPECT_FALSE(child->conformsTo("IOther"));
    EXPECT_EQ(TrackedChild::staticClass().protocols().size(), 0u);
}

TEST(ObjectTest, RuntimeClassesAreNamedUniquelyAndSwitchable) {
    rt::Class* made = rt::Class::allocateClassPair(&Tracked::staticClass(), "TrackedRuntime");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(rt::Class::allocateClassPair(&Tracked::staticClass(), "TrackedRuntime"), nullptr);
    auto object = rt::make<Tracked>();
    object->setObjectClass(*made);
    EXPECT_EQ(object->className(), "TrackedRuntime");
    EXPECT_TRUE(object->isKindOf(Tracked::staticClass()));
    auto instance = made->instantiate();
    EXPECT_EQ(instance->className(), "TrackedRuntime");
    rt::Class::disposeClassPair(made);
    EXPECT_EQ(rt::Class::named("TrackedRuntime"), nullptr);
}

TEST(AssociationTest, KeysCompareByTextAndTheMissingKeyIsItsOwn) {
    auto owner = rt::make<rt::Object>();
    std::string key = "__li";
    key += "steners";
    owner->setAssociatedObject(rt::Value(42), "__listeners");
    EXPECT_EQ(owner->associatedObject(key).intValue(), 42);
    EXPECT_TRUE(owner->associatedObject("never set").isNil());
    EXPECT_TRUE(owner->associatedObject(nullptr).isNil());
    owner->setAssociatedObject(rt::Value("missing"), nullptr);
    EXPECT_EQ(owner->associatedObject(nullptr).string(), "missing");
    EXPECT_TRUE(owner->associatedObject("").isNil());
}

TEST(AssociationTest, StrongAssociationReleasesOnReplaceAndOnOwnerEnd) {
    events.clear();
    auto owner = rt::make<rt::Object>();
    {
        auto value = rt::make<Tracked>();
        value->name = "first";
        owner->setAssociatedObject(value, "k");
    }
    EXPECT_TRUE(events.empty());  // kept alive by the owner
    owner->setAssociatedObject(rt::Value(), "k");
    EXPECT_EQ(events.size(), 2u);
    auto second = rt::make<Tracked>();
    owner->setAssociatedObject(second, "k");
    second.reset();
    events.clear();
    owner.reset();
    EXPECT_EQ(events.size(), 2u);
}

TEST(AssociationTest, WeakAssociationReadsNilOnceValueIsGone) {
    auto owner = rt::make<rt::Object>();
    auto value = rt::make<Tracked>();
    owner->setWeakAssociatedObject(value, "w");
    EXPECT_EQ(owner->associatedObject("w").object(), value);
    value.reset();  // not kept alive by the owner, and never dangles
    EXPECT_TRUE(owner->associatedObject("w").isNil());
}

TEST(ErrorTest, CarriesDomainCodeAndDescription) {
    auto underlying = rt::Error::make("inner", 7);
    auto error = rt::Error::make("Outer", -3,
                                 rt::Dictionary{{rt::Error::LocalizedDescriptionKey, "Disk full"},
                                                {rt::Error::UnderlyingErrorKey, underlying}});
    EXPECT_EQ(error->domain(), "Outer");
    EXPECT_EQ(error->code(), -3);
    EXPECT_EQ(error->localizedDescription(), "Disk full");
    EXPECT_EQ(error->underlyingError(), underlying);
    EXPECT_EQ(underlying->localizedDescription(), "The operation couldn't be completed. (inner error 7.)");
    EXPECT_TRUE(rt::Error::make("inner", 7)->isEqual(*underlying));
}

TEST(ExceptionTest, MustOverrideNamesMethodAndClass) {
    auto object = rt::make<TrackedChild>();
    try {
        rt::raiseMustOverride("start", *object);
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must override start in a subclass of TrackedChild");
    }
}

TEST(BlockTest, BlocksHaveIdentity) {
    auto a = rt::block<int(int)>([](int x) { return x + 1; });
    auto b = rt::block<int(int)>([](int x) { return x + 1; });
    EXPECT_EQ((*a)(1), 2);
    EXPECT_FALSE(rt::Value(a).isEqual(rt::Value(b)));
    EXPECT_TRUE(rt::Value(a).isEqual(rt::Value(a)));
}

}  // namespace
