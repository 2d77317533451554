#pragma once
// Small observable classes shared by the key-value coding and observing tests.

#include <string>

#include <rt/KVC.h>
#include <rt/KVO.h>

namespace kvotest {

enum class Mode { Off = 0, On = 3 };

class Leaf : public rt::Object {
    RT_CLASS(Leaf, rt::Object)
public:
    static void describe(rt::ClassBuilder<Leaf>& c) {
        c.property("name", &Leaf::name, &Leaf::setName);
        c.property("count", &Leaf::count, &Leaf::setCount);
    }
    const std::string& name() const { return name_; }
    void setName(const std::string& v) { rt::kvoSet(this, "name", name_, v); }
    int count() const { return count_; }
    void setCount(int v) { rt::kvoSet(this, "count", count_, v); }

private:
    std::string name_;
    int count_ = 0;
};

class Middle : public rt::Object {
    RT_CLASS(Middle, rt::Object)
public:
    static void describe(rt::ClassBuilder<Middle>& c) { c.property("leaf", &Middle::leaf, &Middle::setLeaf); }
    rt::Ref<Leaf> leaf() const { return leaf_; }
    void setLeaf(rt::Ref<Leaf> v) { rt::kvoSet(this, "leaf", leaf_, std::move(v)); }

private:
    rt::Ref<Leaf> leaf_;
};

class Task : public rt::Object {
    RT_CLASS(Task, rt::Object)
public:
    static void describe(rt::ClassBuilder<Task>& c) {
        c.property("paused", &Task::paused, &Task::setPaused);
        c.property("state", &Task::state, &Task::setState);
        c.property("ratio", &Task::ratio, &Task::setRatio);
        c.property("mode", &Task::mode, &Task::setMode);
        c.property("middle", &Task::middle, &Task::setMiddle);
        c.property("progress", &Task::progress, &Task::setProgress);
        c.property("info", &Task::info, &Task::setInfo);
        c.readonly("isReady", &Task::isReady);
        c.readonly("leafName", [](const Task& t) { return t.middle_ && t.middle_->leaf() ? t.middle_->leaf()->name() : ""; });
        c.dependent("isReady", {"paused"});
        c.dependent("leafName", {"middle.leaf.name"});
        c.manualNotification("progress");
    }
    bool paused() const { return paused_; }
    void setPaused(bool v) { rt::kvoSet(this, "paused", paused_, v); }
    long long state() const { return state_; }
    void setState(long long v) { rt::kvoSet(this, "state", state_, v); }
    double ratio() const { return ratio_; }
    void setRatio(double v) { rt::kvoSet(this, "ratio", ratio_, v); }
    Mode mode() const { return mode_; }
    void setMode(Mode v) { rt::kvoSet(this, "mode", mode_, v); }
    rt::Ref<Middle> middle() const { return middle_; }
    void setMiddle(rt::Ref<Middle> v) { rt::kvoSet(this, "middle", middle_, std::move(v)); }
    double progress() const { return progress_; }
    // A manual key: the setter still goes through kvoSet, which stays silent for it.
    void setProgress(double v) { rt::kvoSet(this, "progress", progress_, v); }
    rt::Value info() const { return info_; }
    void setInfo(const rt::Value& v) { rt::kvoChange(this, "info", [&] { info_ = v; }); }
    bool isReady() const { return !paused_; }

private:
    bool paused_ = false;
    long long state_ = 0;
    double ratio_ = 0;
    Mode mode_ = Mode::Off;
    rt::Ref<Middle> middle_;
    double progress_ = 0;
    rt::Value info_;
};

/// A subclass that adds one property and inherits the rest.
class SubTask : public Task {
    RT_CLASS(SubTask, Task)
public:
    static void describe(rt::ClassBuilder<SubTask>& c) { c.property("label", &SubTask::label, &SubTask::setLabel); }
    std::string label() const { return label_; }
    void setLabel(std::string v) { rt::kvoSet(this, "label", label_, std::move(v)); }

private:
    std::string label_;
};

/// Declares no describe of its own: the inherited one must not run again for it.
class PlainSubTask : public Task {
    RT_CLASS(PlainSubTask, Task)
};

}  // namespace kvotest
