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
    auto tracker = rt::cast<ICPPlaybackTracker>(object);
    if (!tracker) throw rt::Exception("InvalidParameterError", "Invalid object!");
    for (const auto& c : components_)
        if (c == tracker || c->isEqual(*tracker)) return;
    components_.push_back(tracker);
}

void CPCompositePlaybackTracker::removeTracker(const rt::Ref<rt::Object>& object) {
    if (!object) return;
    std::erase_if(components_, [&](const rt::Ref<ICPPlaybackTracker>& c) { return c->isEqual(*object); });
}

void CPCompositePlaybackTracker::close() {
    forEach([](ICPPlaybackTracker& t) { t.close(); });
}
void CPCompositePlaybackTracker::onPreparing() {
    forEach([](ICPPlaybackTracker& t) { t.onPreparing(); });
}
void CPCompositePlaybackTracker::onBuffering() {
    forEach([](ICPPlaybackTracker& t) { t.onBuffering(); });
}
void CPCompositePlaybackTracker::onPrerollLoading() {
    forEach([](ICPPlaybackTracker& t) { t.onPrerollLoading(); });
}
void CPCompositePlaybackTracker::onPrerolling() {
    forEach([](ICPPlaybackTracker& t) { t.onPrerolling(); });
}
void CPCompositePlaybackTracker::onMidrolling() {
    forEach([](ICPPlaybackTracker& t) { t.onMidrolling(); });
}
void CPCompositePlaybackTracker::onStart() {
    forEach([](ICPPlaybackTracker& t) { t.onStart(); });
}
void CPCompositePlaybackTracker::onFinish() {
    forEach([](ICPPlaybackTracker& t) { t.onFinish(); });
}
void CPCompositePlaybackTracker::onKill() {
    forEach([](ICPPlaybackTracker& t) { t.onKill(); });
}
void CPCompositePlaybackTracker::onError(const rt::Ref<rt::Error>& error) {
    forEach([&](ICPPlaybackTracker& t) { t.onError(error); });
}
void CPCompositePlaybackTracker::onResume() {
    forEach([](ICPPlaybackTracker& t) { t.onResume(); });
}
void CPCompositePlaybackTracker::onPause() {
    forEach([](ICPPlaybackTracker& t) { t.onPause(); });
}
void CPCompositePlaybackTracker::onRewind() {
    forEach([](ICPPlaybackTracker& t) { t.onRewind(); });
}
void CPCompositePlaybackTracker::onSeekFrom(double from, double to) {
    forEach([&](ICPPlaybackTracker& t) { t.onSeekFrom(from, to); });
}
void CPCompositePlaybackTracker::onClick() {
    forEach([](ICPPlaybackTracker& t) { t.onClick(); });
}
void CPCompositePlaybackTracker::onMute(bool muted) {
    forEach([&](ICPPlaybackTracker& t) { t.onMute(muted); });
}
void CPCompositePlaybackTracker::onFullscreen(bool fullscreen) {
    forEach([&](ICPPlaybackTracker& t) { t.onFullscreen(fullscreen); });
}
void CPCompositePlaybackTracker::onProgress(double seconds) {
    forEach([&](ICPPlaybackTracker& t) { t.onProgress(seconds); });
}
void CPCompositePlaybackTracker::onBytesTransferred(std::int64_t bytes) {
    forEach([&](ICPPlaybackTracker& t) { t.onBytesTransferred(bytes); });
}
void CPCompositePlaybackTracker::onBitrate(double bitrate) {
    forEach([&](ICPPlaybackTracker& t) { t.onBitrate(bitrate); });
}
void CPCompositePlaybackTracker::onVideoSize(CPVideoSize size) {
    forEach([&](ICPPlaybackTracker& t) { t.onVideoSize(size); });
}

}  // namespace zid
