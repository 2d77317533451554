#pragma once
// Target-action: a weakly held target, the action's name and the call that performs
// it. An action whose target has gone is skipped; an action without a target always
// runs. Two entries are the same when target and name are the same.

#include <functional>
#include <string>
#include <vector>

#include <rt/Object.h>

namespace ui {

struct TargetAction {
    rt::Weak<rt::Object> target;
    /// The target's identity, which stays comparable while the target is being freed
    /// (a target removing itself from its destructor).
    const rt::Object* targetId = nullptr;
    bool hasTarget = false;
    std::string action;
    std::function<void(const rt::Ref<rt::Object>& sender)> perform;

    bool matches(const rt::Object* t, const std::string& name) const {
        return targetId == t && (name.empty() || name == action);
    }
    /// Runs the action unless its target has gone.
    void send(const rt::Ref<rt::Object>& sender) const {
        if (hasTarget && target.expired()) return;
        if (perform) perform(sender);
    }
};

}  // namespace ui
