#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Extensions/Tagging.h"
#include "Functions/ProtocolContainsSelector.h"
#include <QXFoundation/Listening/IListenable.h>
#include "Trampoline/Trampoline.h"
#include <VirtualTime.h>
#include <rt/KVO.h>
#include <rt/Message.h>

namespace {

class Controller : public rt::Object {
    RT_CLASS(Controller, rt::Object)
};

class INavigationDelegate {
public:
    virtual ~INavigationDelegate() = default;
    virtual int supportedOrientations(Controller& controller) {
        (void)controller;
        return 0;
    }
    virtual void controllerDidShow(Controller& controller) { (void)controller; }
    virtual void controllerDidHide(Controller& controller) { (void)controller; }
};

const rt::Protocol& navigationProtocol() {
    rt::Protocol::describe("INavigationBase").classMethod<int()>(rt::sel("baseVersion"), true);
    static const rt::Protocol& p = rt::Protocol::describe("INavigationDelegate")
                                        .adopts("INavigationBase")
                                        .optional(rt::sel("supportedOrientations:"), &INavigationDelegate::supportedOrientations)
                                        .optional(rt::sel("controllerDidShow:"), &INavigationDelegate::controllerDidShow)
                                        .required(rt::sel("controllerDidHide:"), &INavigationDelegate::controllerDidHide)
                                        .classMethod<rt::Value()>(rt::sel("defaultStyle"), false);
    return p;
}

int numberOf(const std::string& className) { return std::stoi(className.substr(std::string("TrampolineClass").size())); }

class TrampolineTest : public zidtest::VirtualTimeTest {};

TEST_F(TrampolineTest, ClassesAreNumberedInSequenceAndAnswerOnlyTheirBlocks) {
    const auto& p = navigationProtocol();
    auto first = zid::Trampoline::trampolineWithProtocol(p);
    auto second = zid::Trampoline::trampolineWithProtocol(p);
    EXPECT_NE(&first->objectClass(), &second->objectClass());
    EXPECT_EQ(first->className().size(), std::string("TrampolineClass001").size());
    EXPECT_EQ(numberOf(second->className()), numberOf(first->className()) + 1);

    first->setBlock(rt::block<int(rt::Object&, rt::Value)>([](rt::Object&, rt::Value) { return 30; }),
                    rt::sel("supportedOrientations:"));
    second->setBlock(rt::block<void(rt::Object&, rt::Value)>([](rt::Object&, rt::Value) {}), rt::sel("controllerDidShow:"));
    for (const char* s : {"supportedOrientations:", "controllerDidShow:", "controllerDidHide:"}) {
        EXPECT_EQ(rt::respondsToSelector(*first, rt::sel(s)), std::string(s) == "supportedOrientations:") << s;
        EXPECT_EQ(rt::respondsToSelector(*second, rt::sel(s)), std::string(s) == "controllerDidShow:") << s;
    }
    auto controller = rt::make<Controller>();
    EXPECT_EQ(rt::send<int>(*first, rt::sel("supportedOrientations:"), controller), 30);
    // The method takes the protocol's types, not the block's.
    EXPECT_EQ(rt::findInstanceMethod(first->objectClass(), rt::sel("supportedOrientations:"))->typeEncoding(), "i@:@");
    EXPECT_EQ(first->implementedSelectors(), std::vector<std::string>{"supportedOrientations:"});
    EXPECT_EQ(first->signatureForSelector(rt::sel("controllerDidHide:")), "v@:@");
    EXPECT_EQ(first->signatureForSelector(rt::sel("unknown")), "");
}

TEST_F(TrampolineTest, ConformsToItsProtocolAndWhatItAdopts) {
    const auto& p = navigationProtocol();
    auto t = zid::Trampoline::trampolineWithProtocol(p);
    EXPECT_TRUE(t->conformsToProtocol(p));
    EXPECT_TRUE(t->conformsToProtocol(*rt::Protocol::named("INavigationBase")));
    EXPECT_TRUE(t->conformsTo("INavigationBase"));
    EXPECT_FALSE(t->conformsToProtocol(rt::Protocol::describe("IUnrelatedToTrampolines")));
}

TEST_F(TrampolineTest, NamesInUseAreSkipped) {
    const auto& p = navigationProtocol();
    auto probe = zid::Trampoline::trampolineWithProtocol(p);
    const int next = numberOf(probe->className()) + 1;
    char name[32];
    std::snprintf(name, sizeof name, "TrampolineClass%03d", next);
    ASSERT_NE(rt::Class::allocateClassPair(&Controller::staticClass(), name), nullptr);  // someone else's class
    auto t = zid::Trampoline::trampolineWithProtocol(p);
    EXPECT_EQ(numberOf(t->className()), next + 1);
}

TEST_F(TrampolineTest, ABlockForASuperclassMethodOverridesInTheTrampolinesOwnClass) {
    // A selector outside the protocol (so other tests' trampolines are not affected by
    // the method every trampoline inherits from here on).
    const auto rotate = rt::sel("controllerDidRotate:");
    const auto& p = navigationProtocol();
    if (!rt::ownInstanceMethod(zid::Trampoline::staticClass(), rotate))
        rt::addMethod(zid::Trampoline::staticClass(), rotate,
                      rt::implementation<void(rt::Object&, rt::Value)>([](rt::Object&, rt::Value) {}));
    auto inherited = rt::findInstanceMethod(zid::Trampoline::staticClass(), rotate)->implementation();
    auto t = zid::Trampoline::trampolineWithProtocol(p);
    auto other = zid::Trampoline::trampolineWithProtocol(p);
    int turned = 0;
    t->setBlock(rt::block<void(rt::Object&, rt::Value)>([&](rt::Object&, rt::Value) { ++turned; }), rotate);
    rt::send(*t, rotate, rt::make<Controller>());
    rt::send(*other, rotate, rt::make<Controller>());  // still the inherited one
    EXPECT_EQ(turned, 1);
    EXPECT_EQ(rt::findInstanceMethod(zid::Trampoline::staticClass(), rotate)->implementation(), inherited);
    EXPECT_EQ(rt::ownInstanceMethod(t->objectClass(), rotate)->typeEncoding(), "v@:@");  // the block's own types
    // Giving the same selector a second block re-implements it in place.
    t->setBlock(rt::block<void(rt::Object&, rt::Value)>([&](rt::Object&, rt::Value) { turned += 10; }), rotate);
    rt::send(*t, rotate, rt::make<Controller>());
    EXPECT_EQ(turned, 11);
}

TEST_F(TrampolineTest, DestructionReleasesBlocksAndDisposesOfTheClassAfterwards) {
    const auto& p = navigationProtocol();
    auto t = zid::Trampoline::trampolineWithProtocol(p);
    auto block = rt::block<void(rt::Object&, rt::Value)>([](rt::Object&, rt::Value) {});
    rt::Weak<rt::BlockBase> watch = block;
    t->setBlock(block, rt::sel("controllerDidShow:"));
    block.reset();
    const std::string name = t->className();
    t.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_NE(rt::Class::named(name), nullptr);  // disposed of on the main queue, later
    drain();
    EXPECT_EQ(rt::Class::named(name), nullptr);
}

TEST_F(TrampolineTest, MakingAPlainTrampolineRaises) {
    try {
        rt::make<zid::Trampoline>();
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must subclass to use Trampoline");
    }
}

// A stand-in so that trampolines can be used where the abstract class is expected.
class NavigationStandIn : public rt::StandIn<INavigationDelegate> {
    RT_CLASS(NavigationStandIn, rt::Proxy)
public:
    int supportedOrientations(Controller& c) override { return forward<int>(rt::sel("supportedOrientations:"), c); }
    void controllerDidShow(Controller& c) override { forward<void>(rt::sel("controllerDidShow:"), c); }
    void controllerDidHide(Controller& c) override { forward<void>(rt::sel("controllerDidHide:"), c); }
};

TEST_F(TrampolineTest, ATrampolineListensWhereTheTypedProtocolIsExpected) {
    const auto& p = navigationProtocol();
    rt::registerStandIn<INavigationDelegate, NavigationStandIn>("INavigationDelegate");
    auto notifier = rt::make<Controller>();
    auto t = zid::Trampoline::trampolineWithProtocol(p);
    std::vector<std::string> seen;
    t->setBlock(rt::block<void(rt::Object&, rt::Value)>([&](rt::Object&, rt::Value) { seen.push_back("show"); }),
                rt::sel("controllerDidShow:"));
    zid::addListener(*notifier, t);
    zid::notifyListeners<INavigationDelegate>(*notifier, [&](INavigationDelegate& d) {
        d.controllerDidShow(*notifier);
        d.controllerDidHide(*notifier);  // not given a block: dropped
    });
    EXPECT_EQ(seen, std::vector<std::string>{"show"});
    // A message with a result the trampoline lacks is refused by its listener proxy.
    EXPECT_THROW(zid::allListeners<INavigationDelegate>(*notifier, [&](INavigationDelegate& d) { return d.supportedOrientations(*notifier) > 0; }),
                 rt::Exception);
}

TEST_F(TrampolineTest, ATrampolineFollowsObjectChanges) {
    auto notifier = rt::make<Controller>();
    auto t = zid::Trampoline::trampolineWithProtocol(*rt::Protocol::named("IObjectChangeListener"));
    rt::Object* changed = nullptr;
    t->setBlock(rt::block<void(rt::Object&, rt::Value)>([&](rt::Object&, rt::Value o) { changed = o.object().get(); }),
                rt::sel("objectDidChange:"));
    zid::addListener(*notifier, t);
    zid::willChange(*notifier);  // not given a block: dropped
    EXPECT_EQ(changed, nullptr);
    zid::didChange(*notifier);
    EXPECT_EQ(changed, notifier.get());
}

TEST(ProtocolContainsSelectorTest, LooksAtEveryKindOfMethodButNotAdoptedProtocols) {
    const auto& p = navigationProtocol();
    EXPECT_TRUE(zid::protocol_containsSelector(p, rt::sel("defaultStyle")));           // optional class method
    EXPECT_TRUE(zid::protocol_containsSelector(p, rt::sel("supportedOrientations:")));  // optional instance
    EXPECT_TRUE(zid::protocol_containsSelector(p, rt::sel("controllerDidHide:")));      // required instance
    EXPECT_TRUE(zid::protocol_containsSelector(*rt::Protocol::named("INavigationBase"), rt::sel("baseVersion")));
    EXPECT_FALSE(zid::protocol_containsSelector(p, rt::sel("baseVersion")));
    EXPECT_FALSE(zid::protocol_containsSelector(p, rt::sel("unknown:")));
}

TEST(TaggingTest, TagsInOrderWithoutDuplicatesAndQuietNoOps) {
    auto object = rt::make<Controller>();
    EXPECT_TRUE(zid::tags(*object).isNil());
    EXPECT_FALSE(zid::hasTag(*object, "a"));
    int notices = 0;
    auto token = rt::observe(object, "tags", 0, [&](const rt::KVOChange&) { ++notices; });
    zid::addTags(*object, {"a", "b", "a"});
    EXPECT_EQ(notices, 2);
    EXPECT_EQ(zid::tags(*object), rt::Value(rt::Value::Array{rt::Value("a"), rt::Value("b")}));
    EXPECT_TRUE(zid::hasTag(*object, "b"));
    zid::addTag(*object, "a");
    zid::removeTag(*object, "zzz");
    EXPECT_EQ(notices, 2);
    zid::removeTag(*object, "a");
    EXPECT_EQ(notices, 3);
    EXPECT_FALSE(zid::hasTag(*object, "a"));
    EXPECT_EQ(zid::tags(*object).array().size(), 1u);
}

}  // namespace
