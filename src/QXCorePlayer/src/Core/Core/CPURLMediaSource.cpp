#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <rt/Format.h>

namespace zid {

CPURLMediaSource::CPURLMediaSource(std::string mediaUrl) : mediaUrl_(std::move(mediaUrl)) {
    setAdSettings(CPMediaAdSettings::adSettingsWithTags({}));
}

void CPURLMediaSource::realizeWithPlaybackID(const std::string&) { RT_MAIN_THREAD_ONLY(); setRealized(); }

void CPURLMediaSource::dispose() { RT_MAIN_THREAD_ONLY(); setUnrealized(); }

std::string CPURLMediaSource::description() const {
    return rt::format("%@ url = %@", rt::Value(rt::Object::description()), rt::Value(mediaUrl_));
}

}  // namespace zid
