#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <rt/Invocation.h>
#include <rt/Message.h>
#include <rt/MethodTable.h>
#include <rt/Value.h>

namespace {

struct Point {
    double x, y;
};

class Shape : public rt::Object {
    RT_CLASS(Shape, rt::Object)
public:
    Point origin{0, 0};
    Point moveBy(Point delta) {
        origin.x += delta.x;
        origin.y += delta.y;
        return origin;
    }
};

TEST(InvocationTest, ArgumentsConvertToTheirSlotsCodes) {
    auto inv = rt::Invocation::invocationWithMethodSignature(rt::MethodSignature::withTypes("v@:ciBd@#"));
    inv->setArgument(2, 65);        // int into "c"
    inv->setArgument(3, 2.9);       // double into "i" truncates
    inv->setArgument(4, 7);         // int into "B"
    inv->setArgument(5, 1.5f);
    inv->setArgument(6, rt::Value("text"));
    inv->setArgument(7, &Shape::staticClass());
    EXPECT_EQ(inv->getArgument<int>(2), 65);
    EXPECT_EQ(inv->getArgument<int>(3), 2);
    EXPECT_TRUE(inv->getArgument<bool>(4));
    EXPECT_EQ(inv->getArgument<double>(5), 1.5);
    EXPECT_EQ(inv->getArgument<std::string>(6), "text");
    EXPECT_EQ(inv->getArgument<const rt::Class*>(7), &Shape::staticClass());
    // A number slot read as an object answers a number of the slot's kind.
    EXPECT_EQ(inv->getArgument<rt::Value>(2).number()->kind(), rt::Number::Kind::Char);
    EXPECT_EQ(inv->getArgument<rt::Value>(7).cls(), &Shape::staticClass());
    // Mismatches name the argument instead of reinterpreting bytes.
    try {
        inv->setArgument(2, rt::Value("x"));
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InvalidArgument);
        EXPECT_NE(e.reason().find("argument 2"), std::string::npos);
    }
    EXPECT_THROW(inv->setArgument(8, 1), rt::Exception);
    EXPECT_THROW(inv->getReturnValue<int>(), rt::Exception);  // a void result has no value
    inv->clear();
    EXPECT_EQ(inv->getArgument<int>(2), 0);
    EXPECT_TRUE(inv->getArgument<rt::Value>(6).isNil());
}

TEST(InvocationTest, StructuresTravelAsRawBytesWithMatchingCodes) {
    const auto& cls = Shape::staticClass();
    if (!rt::ownInstanceMethod(cls, rt::sel("moveBy:"))) rt::addMethod(cls, rt::sel("moveBy:"), &Shape::moveBy);
    auto shape = rt::make<Shape>();
    Point p = rt::send<Point>(*shape, rt::sel("moveBy:"), Point{1, 2});
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.y, 2);

    auto inv = rt::Invocation::invocationWithMethodSignature(rt::findInstanceMethod(cls, rt::sel("moveBy:"))->signature());
    inv->setSelector(rt::sel("moveBy:"));
    inv->setTarget(shape);
    Point delta{0.5, 0.5};
    std::memcpy(inv->buffer(2), &delta, sizeof delta);
    inv->invoke();
    Point out;
    std::memcpy(&out, inv->buffer(rt::Invocation::ReturnSlot), sizeof out);
    EXPECT_EQ(out.x, 1.5);
    EXPECT_EQ(inv->getReturnValue<Point>().y, 2.5);
    // Another structure is not silently reinterpreted.
    struct Other {
        double a, b;
    };
    EXPECT_THROW(inv->setArgument(2, Other{1, 1}), rt::Exception);
}

TEST(InvocationTest, ObjectArgumentsByReferenceAndNilTargets) {
    const auto& cls = Shape::staticClass();
    if (!rt::ownInstanceMethod(cls, rt::sel("copyOriginFrom:")))
        rt::addMethod(cls, rt::sel("copyOriginFrom:"), rt::implementation<void(Shape&, Shape&)>([](Shape& self, Shape& other) { self.origin = other.origin; }));
    auto a = rt::make<Shape>(), b = rt::make<Shape>();
    b->origin = {3, 4};
    rt::send(*a, rt::sel("copyOriginFrom:"), *b);
    EXPECT_EQ(a->origin.x, 3);
    // A nil object where a reference is required is refused, not dereferenced.
    EXPECT_THROW(rt::send(*a, rt::sel("copyOriginFrom:"), rt::Value()), rt::Exception);

    auto inv = rt::Invocation::invocationWithMethodSignature(rt::MethodSignature::of<int()>());
    inv->setSelector(rt::sel("anything"));
    inv->invoke();  // no target: nothing happens, the result stays zero
    EXPECT_EQ(inv->getReturnValue<int>(), 0);
}

}  // namespace
