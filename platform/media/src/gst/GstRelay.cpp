#include "GstSession.h"
#include "GstHandOver.h"

#include <media/MediaErrors.h>

namespace media::gstimpl {

gpointer newRelayHandle(const std::shared_ptr<Relay>& relay) { return handOver(new std::shared_ptr<Relay>(relay)); }

RelayCall::RelayCall(gpointer handle) : handle_(handle) {
    takenOver(handle_);
    relay_ = static_cast<std::shared_ptr<Relay>*>(handle_)->get();
    takenOver(relay_);
}

RelayCall::~RelayCall() {
    handedOver(relay_);
    handedOver(handle_);
}

Relay::~Relay() {
    // Whichever thread lets go of the relay last, after the streaming threads' calls.
    takenOver(this);
    if (frameSignal >= 0) ::close(frameSignal);
    if (demuxer) gst_object_unref(demuxer);
}

void deleteRelayHandle(gpointer data) {
    takenOver(data);
    delete static_cast<std::shared_ptr<Relay>*>(data);
}

std::string locationOf(GstObject* element) {
    if (!element || !G_IS_OBJECT(element)) return {};
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(element), "location");
    if (!property || property->value_type != G_TYPE_STRING) return {};
    gchar* location = nullptr;
    g_object_get(element, "location", &location, nullptr);
    std::string url = location ? location : "";
    g_free(location);
    return url;
}

void Relay::postRefusal(MediaErrorCode code, std::string description) {
    if (closed.load()) return;
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, code, description] {
        if (auto s = weak.lock()) s->refuse(makeMediaError(code, description));
    });
}

rt::Ref<rt::Error> playlistFailureError(MediaErrorCode code, const std::string& description) {
    // The kind of the origin's answer travels as the underlying error, where a host looks
    // for it beneath the item's failure; in words of its own, so that a host showing both
    // does not show the same URL and answer twice.
    const char* kind;
    switch (code) {
        case MediaErrorCode::ResourceNotFound: kind = "The origin does not have what was asked for."; break;
        case MediaErrorCode::AccessDenied: kind = "The origin refused access."; break;
        case MediaErrorCode::CannotConnect: kind = "The origin could not be reached."; break;
        default: kind = "The origin gave no answer that could be played."; break;
    }
    rt::Dictionary info{{rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(description)},
                        {rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(makeMediaError(code, kind))}};
    return rt::Error::make(MediaErrorDomain, static_cast<long long>(code), info);
}

void Relay::postPlaylistFailure(MediaErrorCode code, std::string description) {
    if (closed.load()) return;
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, code, description] {
        if (auto s = weak.lock()) s->refuse(playlistFailureError(code, description));
    });
}

void Relay::notePlaylistFailure(MediaErrorCode code, std::string description) {
    std::lock_guard lock(mutex);
    playlistFailure_ = {code, std::move(description)};
}

std::pair<MediaErrorCode, std::string> Relay::playlistFailure() {
    std::lock_guard lock(mutex);
    return playlistFailure_;
}

void Relay::postErrorLogEvent(std::string url, MediaErrorCode code, std::string description) {
    if (closed.load()) return;
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, url, code, description] {
        if (auto s = weak.lock()) s->logError(url, code, description);
    });
}

std::string httpsLocationOf(GstObject* element) {
    std::string url = locationOf(element);
    return g_ascii_strncasecmp(url.c_str(), "https://", 8) == 0 ? url : std::string();
}

}  // namespace media::gstimpl
