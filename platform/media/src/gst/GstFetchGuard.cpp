#include "GstFetchGuard.h"
#include "GstFetchGuardParts.h"

#include <gio/gio.h>
#include <media/MediaErrors.h>
#include <rt/Format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "GstDemuxerSession.h"
#include "GstHandOver.h"
#include "GstPlaylistCheck.h"
#include "GstPlaylistServer.h"
#include "GstSession.h"
#include "GstSoup.h"
#include "QuotedURI.h"

namespace media::gstimpl {

namespace {

/// Bytes of checked playlists kept for the demuxer's first reads.
constexpr std::size_t kMostHandedOver = 16u << 20;

/// Guards the demuxers' guards as they are made and found, and the hook as it is installed.
std::mutex& registryMutex() {
    static auto* m = new std::mutex;
    return *m;
}

GQuark guardQuark() {
    static GQuark quark = g_quark_from_static_string("zid-fetch-guard");
    return quark;
}

/// The guard of `demuxer`, if it has one.
std::shared_ptr<FetchGuard> guardOf(GstElement* demuxer) {
    std::lock_guard lock(registryMutex());
    if (auto* held = static_cast<std::shared_ptr<FetchGuard>*>(g_object_get_qdata(G_OBJECT(demuxer), guardQuark())))
        return *held;
    return nullptr;
}

std::string messageURI(GObject* message) {
    // The HTTP library of GStreamer 1.22 (libsoup 3) gives a GUri; an older one would not.
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(message), "uri");
    if (!property || property->value_type != G_TYPE_URI) return {};
    GUri* uri = nullptr;
    g_object_get(message, "uri", &uri, nullptr);
    if (!uri) return {};
    gchar* text = g_uri_to_string(uri);
    std::string out = text ? text : "";
    g_free(text);
    g_uri_unref(uri);
    return out;
}

}  // namespace

GQuark gotBodyQuark() {
    static GQuark quark = g_quark_from_static_string("zid-fetch-guard-got-body");
    return quark;
}

void freeWeakGuard(gpointer data, GClosure*) {
    takenOver(data);
    delete static_cast<std::weak_ptr<FetchGuard>*>(data);
}

MediaErrorCode failureCode(const FetchedText& fetched) {
    if (fetched.status == 404 || fetched.status == 410) return MediaErrorCode::ResourceNotFound;
    if (fetched.status == 401 || fetched.status == 403) return MediaErrorCode::AccessDenied;
    if (fetched.status == 0 && fetched.cause.rfind("did not answer", 0) != 0) return MediaErrorCode::CannotConnect;
    return MediaErrorCode::ServerFailed;
}

// The hook is installed once per process, when the HTTP library's session type exists
// (the demuxer loads the library when it is made).
static std::atomic<bool> hookInstalled{false};

static gboolean onRequestQueuedHook(GSignalInvocationHint*, guint count, const GValue* params, gpointer) {
    if (count >= 2 && G_VALUE_HOLDS_OBJECT(&params[0]) && G_VALUE_HOLDS_OBJECT(&params[1]))
        FetchGuard::onRequestQueued(G_OBJECT(g_value_get_object(&params[0])), G_OBJECT(g_value_get_object(&params[1])));
    return TRUE;
}

void installRequestHook() {
    if (hookInstalled.load()) return;
    std::lock_guard lock(registryMutex());
    if (hookInstalled.load()) return;
    GType session = g_type_from_name("SoupSession");
    if (!session) return;
    // Signals exist once the class does.
    g_type_class_unref(g_type_class_ref(session));
    guint signal = g_signal_lookup("request-queued", session);
    if (signal) g_signal_add_emission_hook(signal, 0, onRequestQueuedHook, nullptr, nullptr);
    hookInstalled = true;
}

std::shared_ptr<FetchGuard> FetchGuard::of(GstElement* demuxer, const std::shared_ptr<Relay>& relay) {
    installRequestHook();
    std::lock_guard lock(registryMutex());
    if (auto* held = static_cast<std::shared_ptr<FetchGuard>*>(g_object_get_qdata(G_OBJECT(demuxer), guardQuark())))
        return *held;
    std::shared_ptr<FetchGuard> guard(new FetchGuard(relay));
    g_object_set_qdata_full(G_OBJECT(demuxer), guardQuark(), new std::shared_ptr<FetchGuard>(guard),
                            [](gpointer data) { delete static_cast<std::shared_ptr<FetchGuard>*>(data); });
    return guard;
}

FetchGuard::FetchGuard(std::shared_ptr<Relay> relay)
    : relay_(std::move(relay)),
      meter_(std::make_shared<SegmentMeter>()),
      transport_(std::make_shared<PlaylistTransport>()),
      handOver_(kMostHandedOver) {}

void FetchGuard::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    transport_->stop();
}

bool FetchGuard::ended() const {
    std::lock_guard lock(mutex_);
    return stopped_ || refused_;
}

void FetchGuard::stopDownloads(GstElement* demuxer) {
    if (auto guard = guardOf(demuxer)) guard->stop();
}

std::function<void()> FetchGuard::readsEnded(GstElement* demuxer, double seconds) {
    auto guard = guardOf(demuxer);
    if (!guard) return [] {};
    return [guard, seconds] {
        std::unique_lock lock(guard->mutex_);
        guard->readEnded_.wait_for(lock, std::chrono::duration<double>(seconds),
                                   [&] { return guard->readsUnderWay_ <= 0; });
    };
}


void FetchGuard::noteRead(const std::string& url, bool master) {
    if (url.empty()) return;
    std::lock_guard lock(mutex_);
    read_.emplace(url, master);
}

void FetchGuard::onCheck(std::function<bool(const std::string&, const FetchedText&)> check) {
    std::lock_guard lock(mutex_);
    check_ = std::move(check);
}

void FetchGuard::answerRead(const std::string& url, const FetchHeaders& headers,
                            std::function<void(PlaylistAnswer)> done) {
    if (isKey(url)) return answerKey(url, headers, std::move(done));
    if (ended()) return done(PlaylistAnswer{403, {}, {}});
    // Sent here by a redirect this guard answered: the text fetched then answers it.
    if (auto handed = handOver_.take(url)) return answerWith(url, std::move(*handed), done);
    std::function<bool(const std::string&, const FetchedText&)> check;
    {
        std::lock_guard lock(mutex_);
        check = check_;
    }
    transport_->fetch(url, headers, kLongestPlaylist, [weak = weak_from_this(), url, check, done](FetchedText fetched) {
        auto self = weak.lock();
        if (!self || (check && !check(url, fetched))) return done(PlaylistAnswer{403, {}, {}});
        self->answerWith(url, std::move(fetched), done);
    });
}

void FetchGuard::judge(const std::string& url, FetchedText& fetched) const {
    if (fetched.outcome != FetchedText::Outcome::Fetched) return;
    std::string cause = whyNotAPlaylist(fetched.text);
    if (cause.empty()) {
        // What a playlist is does not change: a media playlist that comes back as a master
        // (or the other way round) is not the playlist the demuxer holds.
        bool master = namesVariants(fetched.text);
        std::lock_guard lock(mutex_);
        if (auto it = read_.find(url); it != read_.end() && it->second != master)
            cause = master ? "came back as a master playlist, where it was a media playlist"
                           : "came back as a media playlist, where it was a master playlist";
    }
    // A refresh is the window the origin publishes now: the demuxer given one cut short, or
    // one older than what it has, stopped refreshing for good.
    if (cause.empty()) cause = whyNotARefresh(url, fetched.text);
    if (cause.empty()) return;
    // Answered as a failure: the demuxer's first read fails the item; a refresh fails, and
    // the item plays on from what it has and asks again.
    fetched.outcome = FetchedText::Outcome::Failed;
    fetched.text.clear();
    fetched.finalURL.clear();
    fetched.cause = std::move(cause);
}

void FetchGuard::answerWith(const std::string& url, FetchedText fetched,
                            const std::function<void(PlaylistAnswer)>& done) {
    judge(url, fetched);
    if (fetched.outcome != FetchedText::Outcome::Fetched) {
        failedRead(url, fetched);
        if (fetched.cause.empty() || fetched.outcome == FetchedText::Outcome::TooLong)
            return done(PlaylistAnswer{403, {}, {}});
        int status = fetched.status >= 400 ? fetched.status : fetched.cause.rfind("did not answer", 0) == 0 ? 504 : 502;
        return done(PlaylistAnswer{status, {}, {}});
    }
    {
        std::lock_guard lock(mutex_);
        read_.emplace(url, namesVariants(fetched.text));
    }
    // A failure the demuxer got over is no longer why it might fail.
    relay_->notePlaylistFailure(MediaErrorCode::Unknown, {});
    if (!fetched.finalURL.empty() && fetched.finalURL != url) {
        // The origin answered from elsewhere: the demuxer is sent there, as the origin sent
        // the check, and is answered there with the text (the URIs it names resolve
        // against where it came from).
        std::string final = fetched.finalURL;
        int status = fetched.redirectStatus ? fetched.redirectStatus : 302;
        handOver_.handOver(final, std::move(fetched));
        return done(PlaylistAnswer{status, final, {}});
    }
    PlaylistFacts facts = readPlaylistFacts(fetched.text);
    learnKeys(keysNamed(facts, url));
    learnMaps(mapsNamed(facts, url));
    notePassed(url, fetched.text, facts);
    done(PlaylistAnswer{200, {}, std::move(fetched.text)});
}

std::string FetchGuard::whyNotARefresh(const std::string& url, const std::string& text) const {
    std::optional<std::uint64_t> before;
    {
        std::lock_guard lock(mutex_);
        auto it = read_.find(url);
        if (it == read_.end() || it->second) return {};
        if (auto window = windowEnds_.find(url); window != windowEnds_.end()) before = window->second;
    }
    if (std::string cut = whyCutShort(text); !cut.empty()) return cut;
    auto end = lastSegmentNumber(text);
    if (before && end && *end < *before)
        return rt::format("came back stale: its segments end at number %llu, before number %llu it named already",
                          static_cast<unsigned long long>(*end), static_cast<unsigned long long>(*before));
    return {};
}

void FetchGuard::notePassed(const std::string& url, const std::string& text, const PlaylistFacts& facts) {
    if (url.empty() || facts.master) return;
    auto end = lastSegmentNumber(text);
    double now = nowSeconds();
    bool watch = false;
    {
        std::lock_guard lock(mutex_);
        if (end) windowEnds_[url] = *end;
        live_ = !facts.ended && facts.targetDuration > 0;
        if (!live_) return;
        livePassedAt_ = now;
        liveURL_ = url;
        liveTarget_ = std::max(liveTarget_, facts.targetDuration);
        liveFailure_ = {MediaErrorCode::Unknown, {}};
        watch = !liveWatched_;
        liveWatched_ = true;
    }
    if (!watch) return;
    fnd::RunLoop::main()->schedule(1.0, true, [weak = weak_from_this()](fnd::Timer& timer) {
        auto guard = weak.lock();
        if (!guard || !guard->checkRefreshed()) timer.invalidate();
    });
}

bool FetchGuard::pipelineShouldPlay(double seconds) const {
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (!demuxer) return false;
    GstElement* top = GST_ELEMENT(gst_object_ref(demuxer));
    while (GstObject* parent = gst_object_get_parent(GST_OBJECT(top))) {
        gst_object_unref(top);
        top = GST_ELEMENT(parent);
    }
    GST_OBJECT_LOCK(top);
    GstState target = GST_STATE_TARGET(top);
    GstState state = GST_STATE(top);
    GST_OBJECT_UNLOCK(top);
    gst_object_unref(top);
    bool play = target == GST_STATE_PLAYING;
    if (!play && target == GST_STATE_PAUSED && state == GST_STATE_PAUSED) {
        // Paused: to buffer when the demuxer holds little (a host's pause leaves it to fill
        // up, and then it refreshes no more).
        guint64 held = 0;
        for (const char* level : {"current-level-time-video", "current-level-time-audio"}) {
            if (!g_object_class_find_property(G_OBJECT_GET_CLASS(demuxer), level)) continue;
            guint64 time = 0;
            g_object_get(demuxer, level, &time, nullptr);
            held = std::max<guint64>(held, time);
        }
        play = static_cast<double>(held) / GST_SECOND < seconds;
    }
    gst_object_unref(demuxer);
    return play;
}

bool FetchGuard::checkRefreshed() {
    if (ended()) return false;
    double target;
    {
        std::lock_guard lock(mutex_);
        if (!live_) return true;
        target = liveTarget_;
    }
    bool shouldPlay = pipelineShouldPlay(target);
    double now = nowSeconds();
    MediaErrorCode code;
    std::string description;
    {
        std::lock_guard lock(mutex_);
        // Time in which the item is not to play does not count.
        if (!shouldPlay) livePassedAt_ = now;
        if (!live_ || now - livePassedAt_ < 3 * liveTarget_) return true;
        // A read under way is the demuxer still asking, however long its answer takes,
        // unless one has failed since the last passed: the demuxer then asks on and on
        // without ever being given a playlist.
        if (readsUnderWay_ > 0 && liveFailure_.second.empty()) return true;
        std::string last = liveFailure_.second;
        if (last.empty()) {
            auto window = windowEnds_.find(liveURL_);
            last = window == windowEnds_.end()
                       ? std::string("came whole, and was not asked for again")
                       : rt::format("came whole (its segments ending at number %llu), and was not asked for again",
                                    static_cast<unsigned long long>(window->second));
        }
        code = liveFailure_.second.empty() ? MediaErrorCode::ServerFailed : liveFailure_.first;
        description = rt::format("The live playlist \"%s\" has not been refreshed for %.0f seconds (more than three "
                                 "target durations) while the item should play; when last asked, it %s.",
                                 quotedURI(liveURL_), now - livePassedAt_, last);
    }
    refusePlaylist(code, std::move(description));
    return false;
}

void FetchGuard::failedRead(const std::string& url, const FetchedText& fetched) {
    // Stopped, or refused by the check (which failed the item itself).
    if (fetched.outcome != FetchedText::Outcome::Failed || fetched.cause.empty()) return;
    MediaErrorCode code = failureCode(fetched);
    std::string description = rt::format("The playlist \"%s\" %s.", quotedURI(url), fetched.cause);
    bool readBefore;
    {
        std::lock_guard lock(mutex_);
        readBefore = read_.count(url) > 0;
        if (readBefore) liveFailure_ = {code, fetched.cause};
    }
    // A live playlist's refresh may fail now and then; the demuxer tries again, and if it
    // gives up, this is why. Each such refresh is in the item's error log.
    relay_->notePlaylistFailure(code, description);
    if (readBefore) return relay_->postErrorLogEvent(url, code, description);
    refusePlaylist(code, std::move(description));
}

void FetchGuard::refusePlaylist(MediaErrorCode code, std::string description) {
    {
        std::lock_guard lock(mutex_);
        if (refused_) return;
        refused_ = true;
    }
    handOver_.drop();
    relay_->postPlaylistFailure(code, std::move(description));
    stop();
}


void FetchGuard::onRequestQueued(GObject* session, GObject* message) {
    // Only a guarded demuxer's own session: never a host's, nor the guards' own.
    std::shared_ptr<FetchGuard> owner;
    if (GstElement* demuxer = demuxerOwning(session)) {
        owner = guardOf(demuxer);
        gst_object_unref(demuxer);
    }
    if (!owner) return;
    std::string uri = messageURI(message);
    const SoupCalls* soup = soupCalls();
    owner->relay_->mediaRequests.fetch_add(1);
    PlaylistServer* server = PlaylistServer::shared();
    // The demuxer asks for playlists, and only for them, with compressed answers allowed;
    // and only ever with a GET, the one request the service answers. Its keys, which it
    // asks for without compression, are answered by the service too (answerKey).
    const char* method = soup ? soup->method(message) : nullptr;
    bool get = soup && method && std::string(method) == "GET";
    bool playlist = get && !soup->featureDisabled(message, soup->contentDecoderType());
    if (!playlist && get && owner->isKey(uri)) {
        owner->watchKey(message, uri);
    } else if (!playlist) {
        owner->watchSegment(message, uri);
        return;
    }
    {
        std::lock_guard lock(owner->mutex_);
        ++owner->readsUnderWay_;
    }
    g_signal_connect_data(message, "finished", G_CALLBACK(+[](GObject*, gpointer data) {
                              std::shared_ptr<FetchGuard> guard;
                              {
                                  Handling handling(data);
                                  guard = static_cast<std::weak_ptr<FetchGuard>*>(data)->lock();
                              }
                              if (!guard) return;
                              std::lock_guard lock(guard->mutex_);
                              if (--guard->readsUnderWay_ == 0) guard->readEnded_.notify_all();
                          }),
                          handOver(new std::weak_ptr<FetchGuard>(owner)), freeWeakGuard, GConnectFlags(0));
    FetchHeaders headers;
    if (soup)
        soup->headersForeach(
            soup->requestHeaders(message),
            [](const char* name, const char* value, gpointer data) {
                static_cast<FetchHeaders*>(data)->emplace_back(name, value);
            },
            &headers);
    auto turn = [server, weak = std::weak_ptr<FetchGuard>(owner), headers](GObject* m, const std::string& url) {
        auto guard = weak.lock();
        std::string alias = server && guard ? server->alias(guard, url, headers) : std::string();
        // Nowhere to be checked: refused, never fetched unchecked.
        GUri* to = g_uri_parse(alias.empty() ? "http://0.0.0.0:9/" : alias.c_str(), G_URI_FLAGS_NONE, nullptr);
        if (guard && alias.empty())
            guard->refuse(MediaErrorCode::EngineFailed,
                          "The playlist \"" + quotedURI(url) + "\" could not be checked: it was refused.");
        if (to) {
            g_object_set(m, "uri", to, nullptr);
            g_uri_unref(to);
        }
    };
    turn(message, uri);
    // The connection the request goes on to the service is bound before it connects, so
    // the service knows it as this process's and serves it (a connection it did not
    // expect is closed as soon as it is accepted).
    g_signal_connect(message, "network-event",
                     G_CALLBACK(+[](GObject* sent, GSocketClientEvent event, GIOStream* connection, gpointer) {
                         if (event != G_SOCKET_CLIENT_CONNECTING || !G_IS_SOCKET_CONNECTION(connection)) return;
                         PlaylistServer* service = PlaylistServer::shared();
                         if (!service || !service->serves(messageURI(sent))) return;
                         GSocket* socket = g_socket_connection_get_socket(G_SOCKET_CONNECTION(connection));
                         if (socket) service->bindClientSocket(g_socket_get_fd(socket));
                     }),
                     nullptr);
    // Sent on by a redirect (the service's, to where the origin answered from): the
    // demuxer's downloader has taken the new address as the playlist's (its handler runs
    // first), and the request goes to the service again, for that address.
    using Turn = decltype(turn);
    g_signal_connect_data(
        message, "restarted", G_CALLBACK(+[](GObject* restarted, gpointer data) {
            std::string to = messageURI(restarted);
            PlaylistServer* service = PlaylistServer::shared();
            Handling handling(data);
            if (!to.empty() && service && !service->serves(to)) (*static_cast<Turn*>(data))(restarted, to);
        }),
        handOver(new Turn(turn)),
        [](gpointer data, GClosure*) {
            takenOver(data);
            delete static_cast<Turn*>(data);
        }, GConnectFlags(0));
}


}  // namespace media::gstimpl
