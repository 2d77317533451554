#pragma once
// A debug aid: objects that should go away with their owner are checked some time
// after it, and the ones still alive are reported ("OBJECT LEAKED: ..." through the
// logger, level 2).

#include <string>

#include <rt/Object.h>

namespace zid {

class ObjectTracker : public rt::Object {
    RT_CLASS(ObjectTracker, rt::Object)
public:
    ObjectTracker(const rt::Ref<rt::Object>& trackedObject, std::string ownerDescriptor, std::string source);

    rt::Ref<rt::Object> trackedObject() const { return trackedObject_.lock(); }
    const std::string& ownerDescriptor() const { return ownerDescriptor_; }
    const std::string& source() const { return source_; }

    /// Reports the message when the tracked object is still alive; answers whether it
    /// did.
    virtual bool check(const std::string& message);

private:
    rt::Weak<rt::Object> trackedObject_;
    std::string ownerDescriptor_;
    std::string source_;
};

/// Checks the object one second after the owner is freed. Answers the object.
rt::Ref<rt::Object> trackOwnedObject(rt::Object& owner, const rt::Ref<rt::Object>& object, const std::string& source);
/// Checks the object after the timeout (seconds, on the current run loop's clock).
void assertDealocatesWithOwner(const rt::Ref<rt::Object>& object, const rt::Object& owner, double timeout,
                               const std::string& source);

}  // namespace zid
