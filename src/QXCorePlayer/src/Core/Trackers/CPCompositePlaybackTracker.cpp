#include "Core/Trackers/CPCompositePlaybackTracker.h"
#include <rt/Exception.h>

#include <algorithm>

namespace zid {

CPCompositePlaybackTracker::CPCompositePlaybackTracker(const std::vector<rt::Ref<rt::Object>>& components) {
    components_.reserve(components.size());
    for (const auto& c : components) addTracker(c);
}

rt::Ref<CPCompositePlaybackTracker> CPCompositePlaybackTracker::compositeWithComponents(
    const std::vector<rt::Ref<rt::Object>>& components) {
    return rt::make<CPCompositePlaybackTracker>(components);
}

void CPCompositePlaybackTracker::addTracker(const rt::Ref<rt::Object>& object) {
    RT_MAIN_THREAD_ONLY();
    auto tracker = rt::cast<ICPPlaybackTracker>(object);
    if (!tracker) throw rt::Exception("InvalidParameterError", "Invalid object!");
    for (const auto& c : components_)
        if (c == tracker || c->isEqual(*tracker)) return;
    components_.push_back(tracker);
}

void CPCompositePlaybackTracker::removeTracker(const rt::Ref<rt::Object>& object) {
    RT_MAIN_THREAD_ONLY();
    if (!object) return;
    std::erase_if(components_, [&](const rt::Ref<ICPPlaybackTracker>& c) { return c->isEqual(*object); });
}

}  // namespace zid
