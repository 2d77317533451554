// Bindings through the binder: writing only on difference, re-pointing, ending by
// close, by the target's destruction and by unbinding.

#include <gtest/gtest.h>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Binding/FKBindingInfo.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>

#include "../support/SignalTestModel.h"
#include "../support/ValuedSignal.h"

using namespace zid;
using zidtest::valued;
using zidtest::Model;

namespace {

/// Passes equal values in a row, so that the binding's own test is what stops them.
class Events : public FKSignal {
    RT_CLASS(Events, FKSignal)
public:
    bool repetitive() const override { return true; }
};

void bindTo(const rt::Ref<Model>& target, const std::string& keypath, const FKSignalRef& signal) {
    FKSignalBinder::sharedInstance()[FKKeypathBindingInfo::infoWithTarget(target, keypath)] = signal;
}

const std::string kCountKey = "__FKB_KP::count";

/// A descriptor that forgot to name its binding.
class IncompleteInfo : public FKBindingInfo {
    RT_CLASS(IncompleteInfo, FKBindingInfo)
public:
    explicit IncompleteInfo(const rt::Ref<rt::Object>& target) : FKBindingInfo(target) {}
};

}  // namespace

TEST(Binding, SignalWithValueWritesBeforeTheAssignmentReturns) {
    auto model = rt::make<Model>();
    bindTo(model, "title", valued("hello"));
    EXPECT_EQ(model->title(), "hello");

    auto empty = rt::make<FKSignal>();
    bindTo(model, "count", empty);
    EXPECT_EQ(model->countWrites, 0);
    empty->setValue(3);
    EXPECT_EQ(model->count(), 3);
}

TEST(Binding, WritesOnlyWhenTheValueDiffers) {
    auto model = rt::make<Model>();
    auto events = rt::make<Events>();
    bindTo(model, "value", events);
    auto observed = signalForKeypath(model, "value");
    int notices = 0;
    auto sub = observed->addValueHandler([&](const rt::Value&) { ++notices; });
    notices = 0;
    events->setValue(2);
    events->setValue(2.0);
    events->setValue(2);
    EXPECT_EQ(model->valueWrites, 1);
    events->setValue(3);
    EXPECT_EQ(model->valueWrites, 2);
    events->setValue(rt::Value());
    events->setValue(rt::Value());
    EXPECT_EQ(model->valueWrites, 3) << "nil on a nil property is not written again";
    EXPECT_EQ(notices, 3);
}

TEST(Binding, NilOnAScalarPropertyWritesItsZero) {
    auto model = rt::make<Model>();
    auto events = rt::make<Events>();
    bindTo(model, "count", events);
    events->setValue(7);
    EXPECT_EQ(model->count(), 7);
    EXPECT_NO_THROW(events->setValue(rt::Value()));
    EXPECT_EQ(model->count(), 0);
}

TEST(Binding, SecondSignalRepointsTheOneBinding) {
    auto model = rt::make<Model>();
    auto first = valued(1), second = valued(2);
    bindTo(model, "count", first);
    auto binding = bindingWithKey(*model, kCountKey);
    ASSERT_NE(binding, nullptr);
    bindTo(model, "count", second);
    EXPECT_EQ(bindingWithKey(*model, kCountKey), binding);
    EXPECT_EQ(bindings(*model)->size(), 1u);
    EXPECT_EQ(model->count(), 2);
    first->setValue(10);
    EXPECT_EQ(model->count(), 2);
    EXPECT_TRUE(first->valueHandlers().empty());
    second->setValue(20);
    EXPECT_EQ(model->count(), 20);

    bindTo(model, "title", valued("t"));
    EXPECT_EQ(bindings(*model)->size(), 2u) << "another keypath is another binding";
}

TEST(Binding, ClosingTheSignalEndsTheBindingAndKeepsTheValue) {
    auto model = rt::make<Model>();
    auto signal = valued(4);
    bindTo(model, "count", signal);
    signal->close();
    EXPECT_EQ(bindingWithKey(*model, kCountKey), nullptr);
    EXPECT_EQ(model->count(), 4);
    signal->setValue(5);
    EXPECT_EQ(model->count(), 4);
}

TEST(Binding, ReadingTheBinderMakesAnUnsubscribedBinding) {
    auto model = rt::make<Model>();
    EXPECT_EQ(bindings(*model), nullptr);
    FKBindingRef binding = FKSignalBinder::sharedInstance()[FKKeypathBindingInfo::infoWithTarget(model, "count")];
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(binding->signal(), nullptr);
    EXPECT_EQ(bindingWithKey(*model, kCountKey), binding);
    EXPECT_EQ(binding->target(), model);
    EXPECT_NE(binding->description().find("keypath = count"), std::string::npos);
}

TEST(Binding, TargetDestructionEndsTheSubscription) {
    auto signal = rt::make<FKSignal>();
    rt::Weak<FKBinding> weakBinding;
    {
        auto model = rt::make<Model>();
        bindTo(model, "count", signal);
        weakBinding = bindingWithKey(*model, kCountKey);
        EXPECT_EQ(signal->valueHandlers().size(), 1u);
    }
    EXPECT_TRUE(weakBinding.expired());
    EXPECT_TRUE(signal->valueHandlers().empty());
    EXPECT_NO_THROW(signal->setValue(1));
}

TEST(Binding, UnbindAndDispose) {
    auto model = rt::make<Model>();
    auto signal = valued(1);
    bindTo(model, "count", signal);
    auto binding = bindingWithKey(*model, kCountKey);
    binding->dispose();
    EXPECT_EQ(binding->signal(), nullptr);
    EXPECT_EQ(bindingWithKey(*model, kCountKey), binding) << "a disposed binding stays registered";
    signal->setValue(2);
    EXPECT_EQ(model->count(), 1);
    bindTo(model, "count", signal);  // found again and re-subscribed
    EXPECT_EQ(model->count(), 2);

    fk_unbind(*model, binding);
    EXPECT_EQ(bindingWithKey(*model, kCountKey), nullptr);
    signal->setValue(3);
    EXPECT_EQ(model->count(), 2);
    fk_unbind(*model, FKBinding::bindingWithTarget(model));  // not registered: only disposed
}

TEST(Binding, AbstractDescriptorAndBinding) {
    auto model = rt::make<Model>();
    try {
        FKBindingInfo::bindingInfoWithTarget(model);
        FAIL() << "the abstract descriptor was made";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must subclass to use FKBindingInfo");
    }
    auto incomplete = rt::make<IncompleteInfo>(model);
    try {
        incomplete->binding();
        FAIL() << "a descriptor without its own binding answered one";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must override binding in a subclass of IncompleteInfo");
    }
    EXPECT_EQ(&FKSignalBinder::sharedInstance(), &FKSignalBinder::sharedInstance());
}

TEST(Binding, DescriptorOfAFreedTargetChangesNothing) {
    auto model = rt::make<Model>();
    auto info = FKKeypathBindingInfo::infoWithTarget(model, "count");
    model.reset();
    FKSignalBinder::sharedInstance()[info] = valued(1);
    EXPECT_EQ(static_cast<FKBindingRef>(FKSignalBinder::sharedInstance()[info]), nullptr);
}

TEST(Binding, KeypathSignalOfOneObjectDrivesAPropertyOfAnother) {
    auto source = rt::make<Model>();
    auto mirror = rt::make<Model>();
    source->setCount(2);
    bindTo(mirror, "count", signalForKeypath(source, "count")->mul(valued(10))->toInt());
    EXPECT_EQ(mirror->count(), 20);
    source->setCount(3);
    EXPECT_EQ(mirror->count(), 30);
    source.reset();  // its keypath signal closes; the chain closes and the binding ends
    EXPECT_EQ(bindingWithKey(*mirror, kCountKey), nullptr);
    EXPECT_EQ(mirror->count(), 30);
}
