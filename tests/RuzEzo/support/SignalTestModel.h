#pragma once
// Observable objects for the keypath signal and binding tests.

#include <functional>
#include <string>
#include <vector>

#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Object.h>

namespace zidtest {

/// An object with a scalar, a text, an untyped and an object property, and a hook
/// that records its own destruction step.
class Model : public rt::Object {
    RT_CLASS(Model, rt::Object)
public:
    static void describe(rt::ClassBuilder<Model>& c) {
        c.property("count", &Model::count, &Model::setCount);
        c.property("title", &Model::title, &Model::setTitle);
        c.property("value", &Model::value, &Model::setValue);
        c.property("child", &Model::child, &Model::setChild);
    }

    int count() const { return count_; }
    void setCount(int v) {
        ++countWrites;
        rt::kvoSet(this, "count", count_, v);
    }
    std::string title() const { return title_; }
    void setTitle(std::string v) { rt::kvoSet(this, "title", title_, std::move(v)); }
    rt::Value value() const { return value_; }
    void setValue(rt::Value v) {
        ++valueWrites;
        // Announces even an equal value, as an untyped property does.
        rt::kvoChange(this, "value", [&] { value_ = std::move(v); });
    }
    rt::Ref<Model> child() const { return child_; }
    void setChild(rt::Ref<Model> v) { rt::kvoSet(this, "child", child_, std::move(v)); }

    int countWrites = 0;
    int valueWrites = 0;
    std::function<void()> onWillDestroy;

protected:
    void willDestroy() override {
        if (onWillDestroy) onWillDestroy();
        rt::Object::willDestroy();
    }

private:
    int count_ = 0;
    std::string title_;
    rt::Value value_;
    rt::Ref<Model> child_;
};

}  // namespace zidtest
