// The guard's side of what the demuxer downloads itself: segments, initialization
// segments and keys, each watched as it is asked for and judged as it ends.

#include "GstFetchGuard.h"
#include "GstFetchGuardParts.h"
#include "GstHandOver.h"
#include "GstSession.h"
#include "GstSoup.h"
#include "QuotedURI.h"

#include <cstring>
#include <mutex>
#include <optional>

#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::gstimpl {

namespace {

/// Bytes a key's answer may have (a key has 16).
constexpr std::size_t kLongestKey = 64u << 10;
/// Bytes of an AES-128 key: fewer cannot decrypt anything.
constexpr std::size_t kKeyBytes = 16;
/// Segments refused (401, 403) one after the other, with none coming whole between, after
/// which the item fails: as many as the demuxer tries before it gives up on a stream that
/// ends, where on a live one it would ask again and again for as long as it plays.
constexpr int kRefusalsInARow = 4;


/// FetchGuard::setSegmentNoteHook's hook, set on one thread and called on others.
std::mutex& segmentNoteHookMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::function<void()>& segmentNoteHook() {
    static auto* hook = new std::function<void()>;
    return *hook;
}

}  // namespace

void FetchGuard::learnKeys(const std::set<std::string>& keys) {
    if (keys.empty()) return;
    std::lock_guard lock(mutex_);
    keys_.insert(keys.begin(), keys.end());
}

bool FetchGuard::isKey(const std::string& url) const {
    std::lock_guard lock(mutex_);
    return keys_.count(url) > 0;
}

void FetchGuard::answerKey(const std::string& url, const FetchHeaders& headers,
                           std::function<void(PlaylistAnswer)> done) {
    std::weak_ptr<FetchGuard> weak = weak_from_this();
    transport_->fetch(url, headers, kLongestKey, [weak, url, done](FetchedText fetched) {
        if (fetched.outcome == FetchedText::Outcome::Fetched && fetched.text.size() >= kKeyBytes)
            return done(PlaylistAnswer{200, {}, std::move(fetched.text)});
        auto self = weak.lock();
        if (self && fetched.outcome == FetchedText::Outcome::Fetched) {
            // Decrypted with a key it does not have, the stream would only fail to be read.
            std::lock_guard lock(self->mutex_);
            self->failedKeys_[url] = {MediaErrorCode::ServerFailed,
                                      fetched.text.empty()
                                          ? rt::format("The key \"%s\" was an empty answer.", quotedURI(url))
                                          : rt::format("The key \"%s\" has %zu bytes, where a key has %zu.",
                                                       quotedURI(url), fetched.text.size(), kKeyBytes)};
        } else if (self && !fetched.cause.empty()) {
            std::lock_guard lock(self->mutex_);
            self->failedKeys_[url] = {failureCode(fetched),
                                      rt::format("The key \"%s\" %s.", quotedURI(url), fetched.cause)};
        } else if (self && fetched.outcome == FetchedText::Outcome::TooLong) {
            std::lock_guard lock(self->mutex_);
            self->failedKeys_[url] = {MediaErrorCode::ServerFailed,
                                      rt::format("The key \"%s\" is longer than %zu KiB, which no key is: "
                                                 "it was refused.",
                                                 quotedURI(url), kLongestKey >> 10)};
        }
        if (self) {
            // The demuxer may fail on the placeholder before it is done with the key: this
            // is why, whatever segment comes whole meanwhile. Noted with the guard's lock
            // let go: the relay's lock is never taken under it.
            std::optional<std::pair<MediaErrorCode, std::string>> failure;
            {
                std::lock_guard lock(self->mutex_);
                if (auto it = self->failedKeys_.find(url); it != self->failedKeys_.end()) {
                    failure = it->second;
                    self->segmentNoted_ = false;
                }
            }
            if (failure) self->relay_->notePlaylistFailure(failure->first, failure->second);
        }
        done(PlaylistAnswer{200, {}, std::string(16, '\0')});
    });
}

void FetchGuard::keyTaken(const std::string& url) {
    std::pair<MediaErrorCode, std::string> failure;
    {
        std::lock_guard lock(mutex_);
        auto it = failedKeys_.find(url);
        if (it == failedKeys_.end()) return;
        failure = std::move(it->second);
        failedKeys_.erase(it);
    }
    refuse(failure.first, std::move(failure.second));
}

void FetchGuard::learnMaps(const std::set<std::string>& maps) {
    if (maps.empty()) return;
    std::lock_guard lock(mutex_);
    maps_.insert(maps.begin(), maps.end());
}

void FetchGuard::setSegmentNoteHook(std::function<void()> hook) {
    std::lock_guard lock(segmentNoteHookMutex());
    segmentNoteHook() = std::move(hook);
}

void FetchGuard::watchKey(GObject* message, const std::string& uri) {
    // Answered by the guard, like a playlist (answerKey), once the demuxer has it.
    struct Key {
        std::weak_ptr<FetchGuard> guard;
        std::string url;
    };
    g_signal_connect_data(
        message, "finished", G_CALLBACK(+[](GObject*, gpointer data) {
            Handling handling(data);
            auto* key = static_cast<Key*>(data);
            if (auto guard = key->guard.lock()) guard->keyTaken(key->url);
        }),
        handOver(new Key{weak_from_this(), uri}),
        [](gpointer data, GClosure*) {
            takenOver(data);
            delete static_cast<Key*>(data);
        },
        GConnectFlags(0));
}

void FetchGuard::watchSegment(GObject* message, const std::string& uri) {
    meter_->started(message, uri);
    // A segment whose body came whole.
    g_signal_connect(message, "got-body", G_CALLBACK(+[](GObject* whole, gpointer) {
                         g_object_set_qdata(whole, gotBodyQuark(), GINT_TO_POINTER(1));
                     }),
                     nullptr);
    g_signal_connect_data(message, "finished", G_CALLBACK(+[](GObject* finished, gpointer data) {
                              std::shared_ptr<FetchGuard> guard;
                              {
                                  Handling handling(data);
                                  guard = static_cast<std::weak_ptr<FetchGuard>*>(data)->lock();
                              }
                              if (!guard) return;
                              guard->segmentFinished(guard->meter_->finished(finished), finished);
                          }),
                          handOver(new std::weak_ptr<FetchGuard>(weak_from_this())), freeWeakGuard, GConnectFlags(0));
}

void FetchGuard::segmentFinished(const std::string& url, GObject* message) {
    const SoupCalls* soup = soupCalls();
    if (url.empty() || !soup) return;
    int status = static_cast<int>(soup->status(message));
    bool whole = g_object_get_qdata(message, gotBodyQuark()) != nullptr;
    std::string cause;
    MediaErrorCode code = MediaErrorCode::ServerFailed;
    bool refusedAccess = false, empty = false;
    if (status >= 400) {
        const char* reason = soup->reason(message);
        cause = reason && *reason ? rt::format("was answered with HTTP %d (%s)", status, reason)
                                  : rt::format("was answered with HTTP %d", status);
        if (status == 404 || status == 410)
            code = MediaErrorCode::ResourceNotFound;
        else if (status == 401 || status == 403)
            code = MediaErrorCode::AccessDenied;
        refusedAccess = code == MediaErrorCode::AccessDenied;
    } else if (status >= 200 && status < 300 && !whole) {
        // Or its download was cancelled (a seek): the next segment that comes clears it.
        cause = "ended before all of it came (the connection was closed)";
    } else if (status >= 200 && status < 300) {
        // A segment without a byte came whole, and holds nothing to play: the demuxer goes
        // on to the next one, and a stream of them ends where its media stopped.
        const char* length = soup->headersGetOne(soup->responseHeaders(message), "Content-Length");
        empty = status == 204 || (length && *length && std::strspn(length, "0") == std::strlen(length));
        if (empty) cause = "was an empty answer";
    }
    std::string description;
    bool refuseNow = false;
    // What the relay is told, once the guard's lock is let go.
    std::optional<std::pair<MediaErrorCode, std::string>> note;
    {
        std::lock_guard lock(mutex_);
        bool map = maps_.count(url) > 0;
        if (!cause.empty())
            description = rt::format("The %s \"%s\" %s.", map ? "initialization segment" : "segment", quotedURI(url), cause);
        if (refusedAccess)
            ++refusedInARow_;
        else if (cause.empty() && whole)
            refusedInARow_ = 0;
        // Nothing of the stream can be read without its initialization segment; and access
        // refused again and again is not given back by asking once more.
        refuseNow = (map && empty) || refusedInARow_ >= kRefusalsInARow;
        if (!cause.empty()) {
            // What the demuxer says when it gives up on its segments names none: this is why.
            note.emplace(code, description);
            segmentNoted_ = true;
        } else if (whole && segmentNoted_) {
            note.emplace(MediaErrorCode::Unknown, std::string());
            segmentNoted_ = false;
        }
    }
    if (note) {
        std::function<void()> hook;
        {
            std::lock_guard lock(segmentNoteHookMutex());
            hook = segmentNoteHook();
        }
        if (hook) hook();
        relay_->notePlaylistFailure(note->first, std::move(note->second));
    }
    if (refuseNow) refuse(code, description);
}

void FetchGuard::refuse(MediaErrorCode code, std::string description) {
    {
        std::lock_guard lock(mutex_);
        if (refused_) return;
        refused_ = true;
    }
    handOver_.drop();
    relay_->postRefusal(code, std::move(description));
    stop();
}

void FetchGuard::refuseSegment(std::uint64_t bytes) {
    std::string uri = meter_->segmentToName();
    std::string what = uri.empty() ? std::string("A segment") : "The segment \"" + quotedURI(uri) + "\"";
    refuse(MediaErrorCode::ServerFailed,
           rt::format("%s sent more than %.1f MB (%.1f MB so far), more than its playlists allow a segment: "
                      "it was refused.",
                      what, static_cast<double>(segmentBound()) / 1e6, static_cast<double>(bytes) / 1e6));
}

void FetchGuard::watchSegments(GstElement* parsebin) {
    installRequestHook();
    meter_->watch(parsebin, [weak = weak_from_this()](std::uint64_t bytes) {
        if (auto guard = weak.lock()) guard->refuseSegment(bytes);
    });
}

void guardSegmentsEntering(GstElement* parsebin, const std::shared_ptr<Relay>& relay) {
    for (GstObject* o = GST_OBJECT_PARENT(parsebin); o; o = GST_OBJECT_PARENT(o)) {
        if (!GST_IS_ELEMENT(o)) continue;
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(o));
        if (factory && std::string(GST_OBJECT_NAME(factory)).find("demux2") != std::string::npos) {
            FetchGuard::of(GST_ELEMENT(o), relay)->watchSegments(parsebin);
            return;
        }
    }
}

}  // namespace media::gstimpl
