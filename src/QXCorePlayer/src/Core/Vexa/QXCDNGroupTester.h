#pragma once
// What the location and the service testers share: every member of a group (a location's
// sites, a service's locations) is tested at once, and when the last test has ended the
// result is made of the members that passed; with none passed, or none to test, the task
// fails without an error.

#include <vector>

#include "Core/Vexa/QXCDNTaskWaiting.h"
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>

namespace zid {

template <class Member>
class QXCDNGroupTester : public AKAsyncOperationTask {
public:
    /// The members that passed so far, in the order their tests finished.
    const std::vector<rt::Ref<Member>>& passedMembers() const { return passed_; }

    /// Starts the test of every member; with no member the task fails at once.
    void startOperation() override {
        AKAsyncOperationTask::startOperation();
        auto group = members();
        if (group.empty()) {
            setFailedWithError(nullptr);
            return;
        }
        cdn::testEachAtOnce(selfAs<QXCDNGroupTester>(), group, pending_, waiting_, &QXCDNGroupTester::memberTested);
    }

protected:
    /// The members to test.
    virtual std::vector<rt::Ref<Member>> members() const = 0;
    /// A member's test ended: what joins the passed members, or nothing.
    virtual rt::Ref<Member> passedMember(const rt::Ref<AKOperationTask>& test, const rt::Ref<Member>& member) = 0;
    /// The result made of the passed members, of which there is at least one.
    virtual rt::Value resultOf(const std::vector<rt::Ref<Member>>& passed) const = 0;

private:
    void memberTested(const rt::Ref<AKOperationTask>& test, const rt::Ref<Member>& member) {
        if (auto passed = passedMember(test, member)) passed_.push_back(passed);
        std::erase(pending_, test);
        if (!pending_.empty()) return;
        if (passed_.empty()) {
            setFailedWithError(nullptr);
            return;
        }
        setResult(resultOf(passed_));
        setFinished();
    }

    std::vector<rt::Ref<AKOperationTask>> pending_;
    std::vector<rt::Ref<Member>> passed_;
    std::vector<rt::Ref<rt::Observation>> waiting_;
};

}  // namespace zid
