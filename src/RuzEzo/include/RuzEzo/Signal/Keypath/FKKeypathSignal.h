#pragma once
// A signal following one key path of an object by key-value observing.
//
// Made, it reads the current value and registers for new and initial reports, so
// it normally leaves its factory with a value. It closes when it is closed, freed, or
// when its target reaches its pre-destruction step; closing removes the observation
// from the still-whole target, so no observation outlives the target. After the close
// the target is no longer referred to.

#include <cstddef>
#include <string>

#include <RuzEzo/Signal/FKSignal.h>
#include <rt/KVO.h>

namespace zid {

class FKKeypathSignal : public FKSignal {
    RT_CLASS(FKKeypathSignal, FKSignal)
public:
    FKKeypathSignal(rt::Object* target = nullptr, std::string keypath = {});
    /// Reads the key path (an unknown key raises the key-value coding exception) and
    /// starts observing it.
    static rt::Ref<FKKeypathSignal> signalWithTarget(rt::Object& target, std::string keypath);
    template <class T> static rt::Ref<FKKeypathSignal> signalWithTarget(const rt::Ref<T>& target, std::string keypath) {
        return signalWithTarget(*target, std::move(keypath));
    }

    /// The observed object while the signal is open; null after the close.
    rt::Object* target() const { return target_; }
    const std::string& keypath() const { return keypath_; }

    void registerKVO();
    void removeKVO();
    /// A report of the observation: the new value (the null placeholder read as nil)
    /// goes to setValue(); reports for another key path are ignored.
    void observeValueForKeyPath(const std::string& keyPath, const rt::KVOChange& change);

    void close() override;
    std::string description() const override;

protected:
    /// Closes, and in any case ends the observation: its call-backs refer to this
    /// signal without owning it.
    void willDestroy() override;

private:
    rt::Object* target_;
    std::string keypath_;
    rt::Ref<rt::Observation> observation_;
    std::size_t targetHandler_ = 0;
};

}  // namespace zid
