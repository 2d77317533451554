#include <gtest/gtest.h>

#include <string>

#include <rt/Block.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>
#include <rt/Protocol.h>
#include <rt/Value.h>

namespace {

class Counter : public rt::Object {
    RT_CLASS(Counter, rt::Object)
public:
    int total = 0;
    int add(int by) { return total += by; }
    std::string label() const { return "counter"; }
};

class SubCounter : public Counter {
    RT_CLASS(SubCounter, Counter)
};

// Each test works on classes of its own so that method tables do not leak between tests.
const rt::Class& freshSubclass(const rt::Class& super, const std::string& name) {
    auto* cls = rt::Class::allocateClassPair(&super, name);
    if (!cls) cls = const_cast<rt::Class*>(rt::Class::named(name));
    return *cls;
}

TEST(SelectorTest, InternedByTextAndCountsArguments) {
    EXPECT_EQ(rt::sel("add:"), rt::Selector(std::string("ad") + "d:"));
    EXPECT_NE(rt::sel("add:"), rt::sel("add"));
    EXPECT_EQ(rt::sel("add:to:").argumentCount(), 2u);
    EXPECT_TRUE(rt::Selector().isNull());
    EXPECT_EQ(rt::Selector().name(), "");
}

TEST(TypeEncodingTest, DerivedFromCppTypes) {
    struct Range {
        unsigned long long location, length;
    };
    EXPECT_EQ((rt::methodTypes<void>()), "v@:");
    EXPECT_EQ((rt::methodTypesOf<bool(int, rt::Value, const rt::Class*, rt::Selector)>()), "B@:i@#:");
    EXPECT_EQ((rt::methodTypesOf<double(char, unsigned char, short, unsigned short, unsigned, long long,
                                        unsigned long, float)>()),
              "d@:cCsSIqQf");
    EXPECT_EQ(rt::typeEncoding<rt::Ref<const Counter>>(), "r@");
    EXPECT_EQ(rt::typeEncoding<Counter&>(), "@");
    EXPECT_EQ(rt::typeEncoding<const char*>(), "r*");
    const auto range = rt::typeEncoding<Range>();
    EXPECT_EQ(range.front(), '{');
    EXPECT_EQ(rt::encoding::sizeOf(range), sizeof(Range));
    // A structure written out with its fields is laid out as C would.
    EXPECT_EQ(rt::encoding::sizeOf("{Pair=ci}"), 8u);
    EXPECT_EQ(rt::encoding::sizeOf("r{Pair=cd}"), 16u);
}

TEST(MethodSignatureTest, ParsesAndRejectsMalformedEncodings) {
    auto s = rt::MethodSignature::withTypes("B@:ir@{Pair=ci}");
    EXPECT_EQ(s.numberOfArguments(), 5u);
    EXPECT_EQ(s.argumentType(3), "r@");
    EXPECT_EQ(s.argumentType(4), "{Pair=ci}");
    EXPECT_EQ(s.methodReturnType(), "B");
    EXPECT_EQ(s.methodReturnLength(), 1u);
    EXPECT_EQ(s.frameLength() % 16, 0u);
    EXPECT_FALSE(s.returnsVoid());
    // Frame offsets after each code are accepted.
    EXPECT_EQ(rt::MethodSignature::withTypes("v24@0:8i16").numberOfArguments(), 3u);
    EXPECT_THROW(rt::MethodSignature::withTypes("vi"), rt::Exception);
    EXPECT_THROW(rt::MethodSignature::withTypes("v@:{Open"), rt::Exception);
    EXPECT_THROW(rt::MethodSignature::withTypes("v@:{Unknown}"), rt::Exception);
    EXPECT_THROW(rt::MethodSignature::withTypes("v@:v"), rt::Exception);
    EXPECT_THROW(s.argumentType(5), rt::Exception);
}

TEST(DynamicMethodsTest, MemberFunctionsAndLambdasAnswerBySelector) {
    const auto& cls = freshSubclass(Counter::staticClass(), "DynCounterA");
    ASSERT_TRUE(rt::addMethod(cls, rt::sel("add:"), &Counter::add));
    ASSERT_TRUE(rt::addMethod(cls, rt::sel("label"), &Counter::label));
    EXPECT_FALSE(rt::addMethod(cls, rt::sel("add:"), &Counter::add));  // already there
    EXPECT_EQ(rt::findInstanceMethod(cls, rt::sel("add:"))->typeEncoding(), "i@:i");

    auto counter = rt::make<Counter>();
    counter->setObjectClass(cls);
    EXPECT_EQ(rt::send<int>(*counter, rt::sel("add:"), 5), 5);
    // Arguments and results convert across number kinds.
    EXPECT_EQ(rt::send<double>(*counter, rt::sel("add:"), 2.0), 7.0);
    EXPECT_EQ(rt::send<std::string>(*counter, rt::sel("label")), "counter");
    EXPECT_EQ(rt::send<rt::Value>(*counter, rt::sel("label")), rt::Value("counter"));
    EXPECT_TRUE(rt::respondsToSelector(*counter, rt::sel("add:")));
    EXPECT_FALSE(rt::respondsToSelector(*counter, rt::sel("subtract:")));

    try {
        rt::send(*counter, rt::sel("subtract:"), 1);
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.reason(), "-[DynCounterA subtract:]: unrecognized selector sent to instance");
    }
    EXPECT_THROW(rt::send<int>(*counter, rt::sel("add:")), rt::Exception);               // too few arguments
    EXPECT_THROW(rt::send<int>(*counter, rt::sel("add:"), "x"), rt::Exception);  // a string is not a number
    // An object whose class is the compiled one does not see the run-time class's methods.
    EXPECT_FALSE(rt::respondsToSelector(*rt::make<Counter>(), rt::sel("add:")));
}

TEST(DynamicMethodsTest, InheritedMethodsAndOverridesByAddition) {
    const auto& base = freshSubclass(Counter::staticClass(), "DynBaseB");
    const auto& sub = freshSubclass(base, "DynSubB");
    rt::addMethod(base, rt::sel("name"), rt::implementation<std::string(rt::Object&)>([](rt::Object&) { return std::string("base"); }));
    auto object = rt::make<Counter>();
    object->setObjectClass(sub);
    EXPECT_EQ(rt::send<std::string>(*object, rt::sel("name")), "base");
    EXPECT_EQ(rt::ownInstanceMethod(sub, rt::sel("name")), nullptr);
    // Adding to the subclass makes an override, leaving the superclass as it was.
    EXPECT_TRUE(rt::addMethod(sub, rt::sel("name"), rt::implementation<std::string(rt::Object&)>([](rt::Object&) { return std::string("sub"); })));
    EXPECT_EQ(rt::send<std::string>(*object, rt::sel("name")), "sub");
    auto plain = rt::make<Counter>();
    plain->setObjectClass(base);
    EXPECT_EQ(rt::send<std::string>(*plain, rt::sel("name")), "base");
}

TEST(DynamicMethodsTest, ReplaceAndExchangeKeepTypeEncodings) {
    const auto& cls = freshSubclass(Counter::staticClass(), "DynSwapC");
    rt::addMethod(cls, rt::sel("one"), rt::implementation<int(rt::Object&)>([](rt::Object&) { return 1; }));
    rt::addMethod(cls, rt::sel("two"), rt::implementation<double(rt::Object&)>([](rt::Object&) { return 2.5; }));
    auto object = rt::make<Counter>();
    object->setObjectClass(cls);

    rt::exchangeImplementations(*rt::findInstanceMethod(cls, rt::sel("one")), *rt::findInstanceMethod(cls, rt::sel("two")));
    EXPECT_EQ(rt::findInstanceMethod(cls, rt::sel("one"))->typeEncoding(), "i@:");
    // "one" keeps answering an int: the exchanged body's double converts into it.
    EXPECT_EQ(rt::send<int>(*object, rt::sel("one")), 2);
    EXPECT_EQ(rt::send<double>(*object, rt::sel("two")), 1.0);

    auto previous = rt::replaceMethod(cls, rt::sel("one"), rt::implementation<int(rt::Object&)>([](rt::Object&) { return 9; }), "i@:");
    ASSERT_TRUE(previous);
    EXPECT_EQ(rt::send<int>(*object, rt::sel("one")), 9);
    // Replacing a method the class lacks adds it with the given types.
    EXPECT_EQ(rt::replaceMethod(cls, rt::sel("three"), rt::implementation<int(rt::Object&)>([](rt::Object&) { return 3; }), "i@:"), nullptr);
    EXPECT_EQ(rt::send<int>(*object, rt::sel("three")), 3);
}

TEST(DynamicMethodsTest, BlockImplementationsGiveBackAndReleaseTheirBlock) {
    const auto& cls = freshSubclass(Counter::staticClass(), "DynBlockD");
    int calls = 0;
    auto block = rt::block<int(rt::Object&, int)>([&calls](rt::Object&, int x) {
        ++calls;
        return x * 2;
    });
    rt::Weak<rt::BlockBase> watch = block;
    auto imp = rt::implementationWithBlock(block);
    EXPECT_EQ(rt::implementationGetBlock(imp), block);
    rt::addMethod(cls, rt::sel("twice:"), imp);
    block.reset();  // the implementation keeps it
    auto object = rt::make<Counter>();
    object->setObjectClass(cls);
    EXPECT_EQ(rt::send<int>(*object, rt::sel("twice:"), 21), 42);

    rt::implementationRemoveBlock(imp);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(rt::implementationGetBlock(imp), nullptr);
    EXPECT_EQ(rt::send<int>(*object, rt::sel("twice:"), 21), 0);  // a released body answers zero
    EXPECT_EQ(calls, 1);
}

TEST(DynamicMethodsTest, ClassMethodsReceiveTheClass) {
    const auto& cls = freshSubclass(Counter::staticClass(), "DynClassE");
    const auto& sub = freshSubclass(cls, "DynClassESub");
    rt::addClassMethod(cls, rt::sel("describeWith:"),
                       rt::implementation<std::string(const rt::Class&, std::string)>(
                           [](const rt::Class& c, std::string suffix) { return c.name() + suffix; }));
    EXPECT_EQ(rt::sendClass<std::string>(sub, rt::sel("describeWith:"), "!"), "DynClassESub!");
    EXPECT_THROW(rt::sendClass(cls, rt::sel("missing")), rt::Exception);
    // Class methods are not instance methods.
    auto object = rt::make<Counter>();
    object->setObjectClass(cls);
    EXPECT_FALSE(rt::respondsToSelector(*object, rt::sel("describeWith:")));
}

TEST(RuntimeClassesTest, CreateLookUpDisposeAndSwitchObjects) {
    auto* cls = rt::Class::allocateClassPair(&Counter::staticClass(), "DynMadeF");
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(rt::Class::allocateClassPair(&Counter::staticClass(), "DynMadeF"), nullptr);  // name taken
    EXPECT_EQ(rt::Class::named("DynMadeF"), cls);
    auto made = cls->instantiate();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->className(), "DynMadeF");
    EXPECT_TRUE(made->isKindOf(Counter::staticClass()));
    made->setObjectClass(Counter::staticClass());
    EXPECT_EQ(made->className(), "Counter");
    rt::Class::disposeClassPair(cls);
    EXPECT_EQ(rt::Class::named("DynMadeF"), nullptr);
}

}  // namespace
