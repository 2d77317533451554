#pragma once
// The calling thread as an object, so that per-thread state can be attached to it as
// associations (the signal triggers keep their current helper there).

#include <string>

#include <rt/Object.h>

namespace fnd {

class Thread : public rt::Object {
    RT_CLASS(Thread, rt::Object)
public:
    /// The calling thread's object, made on first use; it lives as long as the thread.
    static rt::Ref<Thread> current();
    bool isMainThread() const;
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

private:
    std::string name_;
    bool isMain_ = false;
};

}  // namespace fnd
