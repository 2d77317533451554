#include "GstFetchGuard.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <gio/gio.h>

#include <media/MediaErrors.h>
#include <rt/Format.h>

#include "GstPlaylistServer.h"
#include "GstSession.h"
#include "QuotedURI.h"

namespace media::gstimpl {

namespace {

constexpr double kSegmentsPerBound = 4;
/// Seconds a playlist fetched for its check may take.
constexpr double kPlaylistFetchSeconds = 10;

std::mutex& registryMutex() {
    static auto* m = new std::mutex;
    return *m;
}

/// Every guard alive in the process; the request hook finds the requests' owners here.
std::vector<std::weak_ptr<FetchGuard>>& registry() {
    static auto* guards = new std::vector<std::weak_ptr<FetchGuard>>;
    return *guards;
}

/// The guards' own fetches under way, by URL: the request hook sees their requests too
/// and leaves them alone (under the registry's mutex).
std::multiset<std::string>& ownFetches() {
    static auto* fetches = new std::multiset<std::string>;
    return *fetches;
}

bool takeOwnFetch(const std::string& uri) {
    auto& fetches = ownFetches();
    auto it = fetches.find(uri);
    if (it == fetches.end()) return false;
    fetches.erase(it);
    return true;
}

GQuark guardQuark() {
    static GQuark quark = g_quark_from_static_string("zid-fetch-guard");
    return quark;
}

/// On a session: the guard whose it is (a weak_ptr), once known.
GQuark sessionQuark() {
    static GQuark quark = g_quark_from_static_string("zid-fetch-guard-session");
    return quark;
}

void freeWeakGuard(gpointer data, GClosure*) { delete static_cast<std::weak_ptr<FetchGuard>*>(data); }

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

/// Per parse bin: the bytes of the segment entering it.
struct SegmentCounter {
    std::weak_ptr<FetchGuard> guard;
    std::uint64_t bytes = 0;
    std::uint64_t end = GST_BUFFER_OFFSET_NONE;
    std::uint64_t requests = 0;
    bool refused = false;
};

}  // namespace

std::uint64_t segmentBound(std::uint64_t bandwidth, double targetDuration) {
    if (bandwidth == 0 || !(targetDuration > 0)) return kLargestSegment;
    double bytes = kSegmentsPerBound * static_cast<double>(bandwidth) / 8 * targetDuration;
    if (bytes >= static_cast<double>(kLargestSegment)) return kLargestSegment;
    return std::max(kSmallestSegmentBound, static_cast<std::uint64_t>(bytes));
}

// The hook is installed once per process, when the HTTP library's session type exists
// (the demuxer loads the library when it is made).
static std::atomic<bool> hookInstalled{false};

static gboolean onRequestQueuedHook(GSignalInvocationHint*, guint count, const GValue* params, gpointer) {
    if (count >= 2 && G_VALUE_HOLDS_OBJECT(&params[0]) && G_VALUE_HOLDS_OBJECT(&params[1]))
        FetchGuard::onRequestQueued(G_OBJECT(g_value_get_object(&params[0])), G_OBJECT(g_value_get_object(&params[1])));
    return TRUE;
}

static void installRequestHook() {
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
    auto& guards = registry();
    guards.erase(std::remove_if(guards.begin(), guards.end(), [](const auto& g) { return g.expired(); }), guards.end());
    guards.push_back(guard);
    return guard;
}

FetchGuard::~FetchGuard() {
    if (like_) gst_object_unref(like_);
}

void FetchGuard::adopt(GObject* session) {
    g_object_set_qdata_full(session, sessionQuark(), new std::weak_ptr<FetchGuard>(weak_from_this()),
                            [](gpointer data) { delete static_cast<std::weak_ptr<FetchGuard>*>(data); });
    std::lock_guard lock(mutex_);
    adopted_ = true;
}

bool FetchGuard::hasSession() const {
    std::lock_guard lock(mutex_);
    return adopted_;
}

void FetchGuard::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
}

void FetchGuard::stopDownloads(GstElement* demuxer) {
    std::shared_ptr<FetchGuard> guard;
    {
        std::lock_guard lock(registryMutex());
        if (auto* held = static_cast<std::shared_ptr<FetchGuard>*>(g_object_get_qdata(G_OBJECT(demuxer), guardQuark())))
            guard = *held;
    }
    if (guard) guard->stop();
}

void FetchGuard::learn(std::uint64_t bandwidth, double targetDuration, const std::set<std::string>& uris) {
    std::lock_guard lock(mutex_);
    bandwidth_ = std::max(bandwidth_, bandwidth);
    targetDuration_ = std::max(targetDuration_, targetDuration);
    uris_.insert(uris.begin(), uris.end());
}

std::uint64_t FetchGuard::segmentBound() const {
    std::lock_guard lock(mutex_);
    return gstimpl::segmentBound(bandwidth_, targetDuration_);
}

bool FetchGuard::claims(const std::string& uri) const {
    std::lock_guard lock(mutex_);
    // Not the URLs it was given itself (another item's source may fetch the same), nor
    // after its item ended.
    return !stopped_ && uris_.count(uri) > 0;
}

void FetchGuard::fetchLike(GstElement* source) {
    std::lock_guard lock(mutex_);
    if (!like_) like_ = source;
    else if (source) gst_object_unref(source);
}

FetchedText FetchGuard::fetch(const std::string& url) {
    GstElement* like = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (like_) like = GST_ELEMENT(gst_object_ref(like_));
    }
    {
        std::lock_guard lock(registryMutex());
        ownFetches().insert(url);
    }
    FetchedText fetched = fetchText(url, like, kLongestPlaylist, kPlaylistFetchSeconds, &relay_->closed);
    {
        // Its request may never have been made (a source that failed at once).
        std::lock_guard lock(registryMutex());
        takeOwnFetch(url);
    }
    if (like) gst_object_unref(like);
    return fetched;
}

void FetchGuard::rereadWhenFetched(const std::string& url) {
    std::lock_guard lock(mutex_);
    watched_.insert(url);
}

void FetchGuard::onReread(std::function<std::optional<std::string>(const std::string& url)> reread) {
    std::lock_guard lock(mutex_);
    reread_ = std::move(reread);
}

std::optional<std::string> FetchGuard::checkedText(const std::string& url) {
    std::function<std::optional<std::string>(const std::string&)> reread;
    {
        std::lock_guard lock(mutex_);
        reread = reread_;
    }
    return reread ? reread(url) : std::nullopt;
}

std::uint64_t FetchGuard::requestsQueued() const {
    std::lock_guard lock(mutex_);
    return queued_;
}

void FetchGuard::onRequestQueued(GObject* session, GObject* message) {
    std::string uri = messageURI(message);
    std::shared_ptr<FetchGuard> owner;
    if (auto* held = static_cast<std::weak_ptr<FetchGuard>*>(g_object_get_qdata(session, sessionQuark())))
        owner = held->lock();
    if (!owner) {
        {
            std::lock_guard lock(registryMutex());
            if (takeOwnFetch(uri)) return;
            // Two items may play the same stream: a guard without a session yet first.
            for (const auto& weak : registry())
                if (auto guard = weak.lock(); guard && guard->claims(uri) && (!owner || !guard->hasSession()))
                    owner = std::move(guard);
        }
        // Not a demuxer's (the pipeline's own source, say).
        if (!owner) return;
        owner->adopt(session);
    }
    owner->relay_->mediaRequests.fetch_add(1);
    PlaylistServer* server = PlaylistServer::shared();
    // The demuxer fetching again at the address it was given (a live playlist's refresh).
    if (server && server->serves(uri)) return;
    bool playlist = false;
    {
        std::lock_guard lock(owner->mutex_);
        playlist = owner->watched_.count(uri) > 0;
        if (!playlist) owner->running_[message] = {++owner->queued_, uri};
    }
    if (playlist) {
        // A playlist the demuxer fetches (first fetch or refresh): it reads what the check
        // reads, fetched and checked when it asks, never an answer of its own.
        GUri* checked = server ? g_uri_parse(server->alias(owner, uri).c_str(), G_URI_FLAGS_NONE, nullptr) : nullptr;
        if (checked) {
            g_object_set(message, "uri", checked, nullptr);
            g_uri_unref(checked);
        } else {
            // No loopback to serve it from: its own fetch is checked beside it, at least.
            std::thread([owner, uri] { owner->checkedText(uri); }).detach();
        }
        return;
    }
    g_signal_connect_data(
        message, "finished",
        G_CALLBACK(+[](GObject* finished, gpointer data) {
            if (auto guard = static_cast<std::weak_ptr<FetchGuard>*>(data)->lock()) {
                std::lock_guard lock(guard->mutex_);
                if (auto it = guard->running_.find(finished); it != guard->running_.end()) {
                    guard->lastFinished_ = std::move(it->second.second);
                    guard->running_.erase(it);
                }
            }
        }),
        new std::weak_ptr<FetchGuard>(owner), freeWeakGuard, GConnectFlags(0));
}

std::string FetchGuard::oldestRequest() const {
    std::lock_guard lock(mutex_);
    const std::pair<std::uint64_t, std::string>* oldest = nullptr;
    for (const auto& [message, request] : running_)
        if (!oldest || request.first < oldest->first) oldest = &request;
    return oldest ? oldest->second : std::string();
}

void FetchGuard::refuse(MediaErrorCode code, std::string description) {
    {
        std::lock_guard lock(mutex_);
        if (refused_) return;
        refused_ = true;
    }
    relay_->postRefusal(code, std::move(description));
    stop();
}

void FetchGuard::refuseSegment(std::uint64_t bytes) {
    std::string uri = oldestRequest();
    if (uri.empty()) {
        std::lock_guard lock(mutex_);
        uri = lastFinished_;
    }
    std::string what = uri.empty() ? std::string("A segment") : "The segment \"" + quotedURI(uri) + "\"";
    refuse(MediaErrorCode::ServerFailed,
                        rt::format("%s sent more than %.1f MB (%.1f MB so far), more than its playlists allow a segment: "
                                   "it was refused.",
                                   what, static_cast<double>(segmentBound()) / 1e6, static_cast<double>(bytes) / 1e6));
}

static GstPadProbeReturn countSegment(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* counter = static_cast<SegmentCounter*>(data);
    if (counter->refused) return GST_PAD_PROBE_DROP;
    auto guard = counter->guard.lock();
    if (!guard) return GST_PAD_PROBE_OK;
    auto add = [&](GstBuffer* buffer) {
        std::uint64_t size = gst_buffer_get_size(buffer);
        std::uint64_t offset = GST_BUFFER_OFFSET(buffer);
        // A new request, or bytes that do not continue the last ones, begin a segment.
        std::uint64_t requests = guard->requestsQueued();
        if (requests != counter->requests || offset == GST_BUFFER_OFFSET_NONE || offset != counter->end) counter->bytes = 0;
        counter->requests = requests;
        counter->bytes += size;
        counter->end = offset == GST_BUFFER_OFFSET_NONE ? GST_BUFFER_OFFSET_NONE : offset + size;
    };
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        add(GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
        for (guint i = 0; i < gst_buffer_list_length(list); ++i) add(gst_buffer_list_get(list, i));
    }
    if (counter->bytes <= guard->segmentBound()) return GST_PAD_PROBE_OK;
    // Nothing more of it goes on; the item fails and its pipeline, download and all, goes.
    counter->refused = true;
    guard->refuseSegment(counter->bytes);
    return GST_PAD_PROBE_DROP;
}

void FetchGuard::watchSegments(GstElement* parsebin) {
    installRequestHook();
    GstPad* pad = gst_element_get_static_pad(parsebin, "sink");
    if (!pad) return;
    auto* counter = new SegmentCounter;
    counter->guard = weak_from_this();
    gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      countSegment, counter, [](gpointer data) { delete static_cast<SegmentCounter*>(data); });
    gst_object_unref(pad);
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
