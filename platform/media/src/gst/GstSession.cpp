#include "GstSession.h"
#include "GstDemuxerSession.h"
#include "GstFetchGuard.h"
#include "GstPlaylistCheck.h"
#include "GstTrust.h"
#include "QuotedURI.h"
#include "TlsProbe.h"

#include <gio/gio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::gstimpl {

namespace {

/// Seconds a handshake that looks into a failed secure connection may take.
constexpr unsigned kTlsProbeTimeout = 5;

/// Seconds a teardown waits for the demuxer's playlist and key reads to end: the service
/// answers each at once when its item ends, so they end within moments; one that does not
/// (a downloader stuck elsewhere) is left to the teardown as before, within its bound.
constexpr double kReadsEndBound = 1.0;

bool insideAdaptiveDemuxer(GstElement* element) {
    for (GstObject* o = GST_OBJECT_PARENT(element); o; o = GST_OBJECT_PARENT(o)) {
        if (!GST_IS_ELEMENT(o)) continue;
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(o));
        if (factory && std::string(GST_OBJECT_NAME(factory)).find("demux2") != std::string::npos) return true;
    }
    return false;
}

GstPadProbeReturn countBytes(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* relay = static_cast<std::shared_ptr<Relay>*>(data)->get();
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        relay->bytes.fetch_add(gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info)));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        relay->bytes.fetch_add(gst_buffer_list_calculate_size(GST_PAD_PROBE_INFO_BUFFER_LIST(info)));
    }
    return GST_PAD_PROBE_OK;
}

/// Counts the bytes the pipeline's own source reads and keeps the first few.
GstPadProbeReturn readSourceHead(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* relay = static_cast<std::shared_ptr<Relay>*>(data)->get();
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    constexpr std::size_t kHead = 16;
    if (relay->sourceBytes.fetch_add(gst_buffer_get_size(buffer)) < kHead) {
        std::lock_guard lock(relay->mutex);
        char head[kHead];
        std::size_t have = relay->sourceHead.size();
        if (have < kHead)
            relay->sourceHead.append(head, gst_buffer_extract(buffer, 0, head, kHead - have));
    }
    return GST_PAD_PROBE_OK;
}

/// The https URL an HTTP source element reads, or "" for anything else.
std::string httpsLocationOf(GstObject* element) {
    std::string url = locationOf(element);
    return g_ascii_strncasecmp(url.c_str(), "https://", 8) == 0 ? url : std::string();
}

// The adaptive demuxer downloads segments itself and hands each track's bytes to a
// parsing bin of its own: the sink pads of those bins see every byte of every segment.
void onDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return;
    std::string name = GST_OBJECT_NAME(factory);
    auto& relay = *static_cast<std::shared_ptr<Relay>*>(data);
    if (name == "urisourcebin") {
        // Before the source bin makes a demuxer: its HTTP session is known as it is made.
        knowDemuxerSessions();
        // A progressive file is otherwise demuxed inside the source bin and buffered per
        // elementary stream in a queue of its own; the engine (1.22) can crash in the
        // decoder bin when that queue's thread delivers the end of the streams while the
        // decoder bin is tearing its inputs down. Without that buffering the demuxer's own
        // thread delivers them. Adaptive streams are unaffected: their demuxer buffers and
        // reports buffering itself.
        g_object_set(element, "use-buffering", FALSE, nullptr);
        return;
    }
    if (name == "souphttpsrc" && !insideAdaptiveDemuxer(element)) {
        // The item's URL: what its answer was, when nothing could make it out.
        if (GstPad* pad = gst_element_get_static_pad(element, "src")) {
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, readSourceHead,
                              new std::shared_ptr<Relay>(relay), deleteRelayHandle);
            gst_object_unref(pad);
        }
        return;
    }
    if (name == "hlsdemux2") {
        checkPlaylistsEntering(element, relay);
        std::lock_guard lock(relay->mutex);
        if (!relay->demuxer) relay->demuxer = GST_ELEMENT(gst_object_ref(element));
        return;
    }
    if (name != "parsebin" || !insideAdaptiveDemuxer(element)) return;
    guardSegmentsEntering(element, relay);
    if (GstPad* pad = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), countBytes,
                          new std::shared_ptr<Relay>(*static_cast<std::shared_ptr<Relay>*>(data)), deleteRelayHandle);
        gst_object_unref(pad);
    }
}

}  // namespace

void deleteRelayHandle(gpointer data) { delete static_cast<std::shared_ptr<Relay>*>(data); }

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

GstSession::GstSession(std::string url, GstEngine::Options options)
    : url_(std::move(url)), options_(options), relay_(std::make_shared<Relay>()) {}

GstSession::~GstSession() { shutdown(); }

bool GstSession::prerolled() const {
    switch (phase_) {
        case Phase::Prerolled:
        case Phase::Ended: return true;
        case Phase::Loading:
        case Phase::Failed:
        case Phase::Closed: return false;
    }
    return false;
}

bool GstSession::gone() const {
    switch (phase_) {
        case Phase::Failed:
        case Phase::Closed: return true;
        case Phase::Loading:
        case Phase::Prerolled:
        case Phase::Ended: return false;
    }
    return true;
}

rt::Ref<rt::Error> GstSession::start() {
    relay_->session = weak_from_this();
    createdAt_ = nowSeconds();
    pipeline_ = gst_element_factory_make("playbin3", nullptr);
    videoSink_ = gst_element_factory_make("appsink", "video-output");
    textSink_ = gst_element_factory_make("appsink", "legible-output");
    GstElement* audioSink = options_.nullOutput ? gst_element_factory_make("fakesink", "audio-output")
                                                : gst_element_factory_make("autoaudiosink", "audio-output");
    if (!pipeline_ || !videoSink_ || !textSink_ || !audioSink) {
        for (GstElement* e : {pipeline_, videoSink_, textSink_, audioSink})
            if (e) gst_object_unref(e);
        pipeline_ = videoSink_ = textSink_ = nullptr;
        return makeMediaError(MediaErrorCode::EngineFailed,
                              "The media engine lacks playbin3 or appsink: install the GStreamer base and good plugins.");
    }
    relay_->frameSignal = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (relay_->frameSignal < 0) {
        for (GstElement* e : {pipeline_, videoSink_, textSink_, audioSink}) gst_object_unref(e);
        pipeline_ = videoSink_ = textSink_ = nullptr;
        return makeMediaError(MediaErrorCode::EngineFailed,
                              rt::format("The media engine cannot make its picture signal (%s).", std::strerror(errno)));
    }
    std::weak_ptr<GstSession> session = weak_from_this();
    frameSource_ = fnd::RunLoop::main()->addSource(relay_->frameSignal, POLLIN, [session, fd = relay_->frameSignal](short) {
        std::uint64_t count;
        [[maybe_unused]] auto taken = ::read(fd, &count, sizeof count);
        if (auto s = session.lock()) {
            s->deliverFrame();
            s->followSeek();
        }
    });
    gst_object_ref_sink(pipeline_);
    gst_object_ref(videoSink_);
    gst_object_ref(textSink_);
    if (options_.nullOutput) g_object_set(audioSink, "sync", TRUE, nullptr);

    connectOutputs(videoSink_, textSink_, relay_);

    g_object_set(pipeline_, "uri", url_.c_str(), "video-sink", videoSink_, "audio-sink", audioSink, "text-sink", textSink_,
                 nullptr);
    pipelineThread_ = std::make_unique<GstPipelineThread>(pipeline_);
    GTlsDatabase* trust = nullptr;
    if (!options_.extraTrustAnchorsPem.empty()) {
        std::string failure;
        trust = extendedTrust(options_.extraTrustAnchorsPem, failure);
        if (!trust) return makeMediaError(MediaErrorCode::EngineFailed, failure);
    }
    trust_ = trust;
    g_signal_connect(pipeline_, "source-setup", G_CALLBACK(onSourceSetup), trust);
    g_signal_connect_data(pipeline_, "deep-element-added", G_CALLBACK(onDeepElementAdded), new std::shared_ptr<Relay>(relay_),
                          [](gpointer data, GClosure*) { deleteRelayHandle(data); }, GConnectFlags(0));
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, onBusMessage, new std::shared_ptr<Relay>(relay_), deleteRelayHandle);
    gst_object_unref(bus);

    std::weak_ptr<GstSession> weak = weak_from_this();
    loadTimer_ = fnd::RunLoop::main()->after(options_.loadTimeout, [weak] {
        auto s = weak.lock();
        if (!s || s->phase_ != Phase::Loading) return;
        // Where the pipeline stood, for the log: a load that fetched its whole stream and
        // still did not preroll is the adaptive demuxer's, one that fetched nothing the
        // origin's.
        std::fprintf(stderr, "zid media: %s did not preroll within %.0f s: %s\n", s->url_.c_str(), s->options_.loadTimeout,
                     s->describePreroll().c_str());
        // Waiting on what failed to come, where the guard knows what: that, rather than
        // the item's URL, which answered.
        if (auto noted = s->notedFailure()) return s->failWith(noted);
        s->failWith(makeMediaError(MediaErrorCode::CannotConnect,
                                   rt::format("\"%s\" did not answer within %.0f seconds.", quotedURI(s->url_), s->options_.loadTimeout)));
    });

    requested_ = GST_STATE_PAUSED;
    // A failure to start is reported by an error message on the bus, with its details;
    // one that never returns, by the load's bound.
    callPipeline([](GstElement* pipeline) {
        if (pipeline) gst_element_set_state(pipeline, GST_STATE_PAUSED);
    });
    return nullptr;
}

std::string GstSession::describePreroll() {
    auto stateOf = [](GstElement* element) {
        GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
        GstStateChangeReturn result = gst_element_get_state(element, &state, &pending, 0);
        std::string said = gst_element_state_get_name(state);
        if (result == GST_STATE_CHANGE_ASYNC) said += std::string(" (on its way to ") + gst_element_state_get_name(pending) + ")";
        return said;
    };
    std::string said = "the pipeline " + stateOf(pipeline_) + ", the video sink " + stateOf(videoSink_) + ", " +
                       std::to_string(relay_->bytes.load()) + " bytes of segments fetched";
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (!demuxer) return said + ", no adaptive demuxer";
    said += ", the demuxer's streams:";
    int streams = 0;
    GstIterator* pads = gst_element_iterate_src_pads(demuxer);
    GValue value = G_VALUE_INIT;
    while (gst_iterator_next(pads, &value) == GST_ITERATOR_OK) {
        auto* pad = GST_PAD(g_value_get_object(&value));
        said += std::string(" ") + GST_OBJECT_NAME(pad) + (gst_pad_is_linked(pad) ? "" : " (unlinked)");
        ++streams;
        g_value_reset(&value);
    }
    g_value_unset(&value);
    gst_iterator_free(pads);
    gst_object_unref(demuxer);
    return streams ? said : said + " none exposed";
}

void GstSession::shutdown() {
    if (phase_ == Phase::Closed) return;
    phase_ = Phase::Closed;
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (progressTimer_) progressTimer_->invalidate();
    accountWatched();
    if (loadTimer_) loadTimer_->invalidate();
    if (readyTimer_) readyTimer_->invalidate();
    // Answers every seek NO.
    releasePipeline();
    streams_.close();
}

void GstSession::releasePipeline() {
    std::function<void()> readsEnded;
    commands_.close();
    relay_->closed = true;
    if (frameSource_) fnd::RunLoop::main()->removeSource(std::exchange(frameSource_, 0));
    {
        std::lock_guard lock(relay_->mutex);
        relay_->latestFrame = nullptr;
        absorbDirectPictures(true);
        relay_->outlet = nullptr;
        relay_->memory = nullptr;
        if (relay_->demuxer) {
            // Nothing the item's demuxer was downloading goes on without the item.
            FetchGuard::stopDownloads(relay_->demuxer);
            readsEnded = FetchGuard::readsEnded(relay_->demuxer, kReadsEndBound);
            gst_object_unref(relay_->demuxer);
        }
        relay_->demuxer = nullptr;
    }
    // The pipeline holds the sinks: dropping these references first leaves the last one,
    // and with it every element's end, to the teardown thread.
    if (videoSink_) gst_object_unref(videoSink_);
    if (textSink_) gst_object_unref(textSink_);
    videoSink_ = textSink_ = nullptr;
    // The pipeline's thread stops it after the call it may still be in (a stream choice
    // holds the locks a state change takes); a call that never returns leaves the
    // pipeline to the process's end, past the teardown's bound. Nothing waiting for the
    // thread is sent any more.
    if (pipeline_) gst_object_unref(std::exchange(pipeline_, nullptr));
    if (pipelineThread_) pipelineThread_->tearDown(std::move(readsEnded));
}

void GstSession::attach(const rt::Ref<PlayerItem>& item) {
    item_ = item;
    attached_ = true;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->outlet = item->engineFrameOutlet();
        relay_->memory = relay_->outlet ? item->engineFrameMemory() : nullptr;
    }
    // The element before the sink asks for its buffers again, and gets the item's.
    if (relay_->memory && videoSink_)
        if (GstPad* pad = gst_element_get_static_pad(videoSink_, "sink")) {
            gst_pad_push_event(pad, gst_event_new_reconfigure());
            gst_object_unref(pad);
        }
    std::weak_ptr<GstSession> weak = weak_from_this();
    if (phase_ == Phase::Failed) {
        // The pipeline broke after its load prerolled it and before the item came (a
        // segment that broke off, say): the item is told what its load was not. A failure
        // still being looked into reaches the item when it is reported.
        if (failure_)
            fnd::RunLoop::main()->post([weak] {
                auto s = weak.lock();
                if (auto item = s ? s->item_.lock() : nullptr) item->engineDidFail(s->failure_);
            });
        return;
    }
    boundWaitForReady();
    if (!prerolled()) return;
    // Reported on the next turn, as a freshly made pipeline would; not again when the
    // item came from inside the load's completion, which the end of the preroll then
    // tells at once (markPrerolled).
    fnd::RunLoop::main()->post([weak] {
        if (auto s = weak.lock(); s && !s->gone() && !s->toldReady_) s->onPrerolled();
    });
}

void GstSession::boundWaitForReady() {
    if (readyTimer_ || phase_ == Phase::Closed) return;
    std::weak_ptr<GstSession> weak = weak_from_this();
    readyTimer_ = fnd::RunLoop::main()->after(options_.loadTimeout, [weak] {
        auto s = weak.lock();
        if (!s || s->gone() || s->toldReady_) return;
        // The download it waits for, when one runs: a segment that stopped coming, say.
        std::string waiting;
        GstElement* demuxer = nullptr;
        {
            std::lock_guard lock(s->relay_->mutex);
            if (s->relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(s->relay_->demuxer));
        }
        if (demuxer) {
            waiting = FetchGuard::of(demuxer, s->relay_)->oldestRequest();
            gst_object_unref(demuxer);
        }
        // Else what a guard noted failing, rather than the URL that answered.
        if (auto noted = waiting.empty() ? s->notedFailure() : nullptr) return s->failWith(noted);
        std::string text = rt::format("\"%s\" did not become ready to play within %.0f seconds", quotedURI(s->url_),
                                      s->options_.loadTimeout);
        if (!waiting.empty()) text += rt::format(" (waiting for \"%s\")", quotedURI(waiting));
        s->failWith(makeMediaError(MediaErrorCode::CannotConnect, text + "."));
    });
}

void GstSession::finishLoad(rt::Ref<rt::Error> error) {
    if (loadTimer_) loadTimer_->invalidate();
    if (!loadDone_) return;
    auto done = std::exchange(loadDone_, nullptr);
    done(std::move(error), error ? AssetInfo{} : info());
}

void GstSession::failWith(rt::Ref<rt::Error> error, GstObject* brokenSource) {
    if (gone()) return;
    phase_ = Phase::Failed;
    // Read before the pipeline (which holds the source) goes.
    std::string secureURL = brokenSource ? httpsLocationOf(brokenSource) : std::string();
    // Answers every seek NO.
    releasePipeline();
    if (loadTimer_) loadTimer_->invalidate();
    if (!secureURL.empty()) {
        reportAfterCheckingTls(std::move(error), secureURL);
        return;
    }
    reportFailure(error);
}

void GstSession::refuse(rt::Ref<rt::Error> error) { failWith(std::move(error)); }

rt::Ref<rt::Error> GstSession::notedFailure() {
    auto [code, cause] = relay_->playlistFailure();
    return cause.empty() ? nullptr : playlistFailureError(code, cause);
}

void GstSession::logError(const std::string& url, MediaErrorCode code, const std::string& description) {
    auto item = item_.lock();
    if (!item || gone()) return;
    auto event = rt::make<ErrorLogEvent>();
    event->date = fnd::RunLoop::main()->clock().date();
    event->URI = url;
    event->serverAddress = stats_->serverAddress;
    event->playbackSessionID = stats_->playbackSessionID;
    event->errorDomain = MediaErrorDomain;
    event->errorStatusCode = static_cast<long long>(code);
    event->errorComment = description;
    item->engineErrorLogEvent(event);
}

void GstSession::reportFailure(const rt::Ref<rt::Error>& error) {
    failure_ = error;
    if (readyTimer_) readyTimer_->invalidate();
    finishLoad(error);
    if (auto item = item_.lock()) item->engineDidFail(error);
}

void GstSession::reportAfterCheckingTls(rt::Ref<rt::Error> error, const std::string& url) {
    // The HTTP source says only that its stream broke. Shaking hands with the server
    // again, with the same trust, tells a refused certificate (and why) apart from a
    // server that cannot be reached; the failure is reported once that is known.
    GTlsDatabase* database = trust_ ? trust_ : systemTrust();
    if (database) g_object_ref(database);
    std::weak_ptr<GstSession> weak = weak_from_this();
    std::thread([weak, error, url, database] {
        TlsProbeResult probe = probeTls(url, database, kTlsProbeTimeout);
        if (database) g_object_unref(database);
        fnd::RunLoop::main()->post([weak, error, url, probe] {
            auto s = weak.lock();
            if (!s || s->phase_ == Phase::Closed) return;
            if (!probe.reached || probe.reason.empty()) {
                s->reportFailure(error);
                return;
            }
            std::string reason = probe.reason;
            reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
            auto cause = makeMediaError(MediaErrorCode::SecureConnectionFailed, reason + ".");
            rt::Dictionary info = error->userInfo();
            info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
                     rt::Value("\"" + quotedURI(url) + "\": cannot connect securely to the server (" + probe.reason + ")"));
            info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause));
            s->reportFailure(rt::Error::make(error->domain(), error->code(), info));
        });
    }).detach();
}

void GstSession::markPrerolled() {
    phase_ = Phase::Prerolled;
    queryDuration();
    // The collection's streams carry the caps found so far.
    streams_.readAgain();
    stats_->startupTime = nowSeconds() - createdAt_;
    commands_.open();
    finishLoad(nullptr);
    if (attached_) onPrerolled();
    watchProgress();
}

void GstSession::onPrerolled() {
    auto item = item_.lock();
    if (!item) return;
    // The picture size comes from the negotiated video caps; no video gives 0 by 0.
    if (GstPad* pad = gst_element_get_static_pad(videoSink_, "sink")) {
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            GstVideoInfo info;
            if (gst_video_info_from_caps(&info, caps))
                presentationSize_ = {static_cast<double>(GST_VIDEO_INFO_WIDTH(&info)), static_cast<double>(GST_VIDEO_INFO_HEIGHT(&info))};
            gst_caps_unref(caps);
        }
        gst_object_unref(pad);
    }
    auto event = item->engineAccessLogEvent();
    stats_->URI = url_;
    auto hostStart = url_.find("://");
    if (hostStart != std::string::npos) {
        auto host = url_.substr(hostStart + 3);
        stats_->serverAddress = host.substr(0, host.find_first_of(":/"));
    }
    stats_->playbackStartDate = fnd::RunLoop::main()->clock().date();
    std::random_device rd;
    stats_->playbackSessionID = rt::format("%08X-%08X", rd(), rd());
    stats_->playbackType = live_ ? "LIVE" : "VOD";
    refreshAccessLog(*event);
    item->engineSelectionGroups(streams_.groups());
    // The prerolled picture goes first: announcing readiness runs its observers at once
    // (a controller that autoplays starts playing from inside it), and the picture
    // should not wait for all of that to be shown. It is taken out of the mailbox
    // before it is handed over, so no observer runs with the streaming threads' lock held.
    rt::Ref<VideoFrame> prerolled;
    {
        std::lock_guard lock(relay_->mutex);
        prerolled = relay_->latestFrame;
    }
    if (prerolled && prerolled->presentationTime().isNumeric()) shownAt_ = prerolled->presentationTime();
    if (prerolled) item->engineVideoFrame(std::move(prerolled));
    toldReady_ = true;
    if (readyTimer_) readyTimer_->invalidate();
    item->engineDidBecomeReady(info(), presentationSize_);
    item->engineBufferingChanged(!buffering_, buffering_ && bufferPercent_ == 0, !buffering_);
    if (duration_.isNumeric())
        item->engineLoadedTimeRanges({TimeRange{Time::zero(), duration_}});
    applyState();
}

AssetInfo GstSession::info() const {
    AssetInfo info;
    info.playable = !streams_.tracks().empty() || prerolled();
    info.duration = duration_;
    info.tracks = streams_.tracks();
    info.groups = streams_.groups();
    return info;
}

void GstSession::queryDuration() {
    gint64 ns = -1;
    if (pipeline_ && gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &ns) && ns > 0) {
        duration_ = fromClockTime(ns);
        live_ = false;
        return;
    }
    // No duration: a live stream (a sliding window without an end).
    GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
    gboolean seekable = FALSE;
    if (pipeline_ && gst_element_query(pipeline_, query)) gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    live_ = true;
    duration_ = Time::indefinite();
}

void GstSession::accountWatched() {
    if (playingSince_ >= 0) {
        stats_->durationWatched += nowSeconds() - playingSince_;
        playingSince_ = -1;
    }
}

void GstSession::refreshAccessLog(AccessLogEvent& event) {
    if (playingSince_ >= 0) {
        accountWatched();
        if (requested_ == GST_STATE_PLAYING) playingSince_ = nowSeconds();
    }
    long long stalls = event.numberOfStalls;  // counted by the item
    auto keep = event.URI;
    event.URI = stats_->URI.empty() ? keep : stats_->URI;
    event.serverAddress = stats_->serverAddress;
    event.playbackStartDate = stats_->playbackStartDate;
    event.playbackSessionID = stats_->playbackSessionID;
    event.playbackType = stats_->playbackType;
    event.startupTime = stats_->startupTime;
    // The pipeline's own request for the item's URL, and every request of its demuxer.
    event.numberOfMediaRequests = static_cast<long long>(relay_->mediaRequests.load()) + (stats_->URI.empty() ? 0 : 1);
    event.durationWatched = stats_->durationWatched;
    event.numberOfStalls = stalls;
    event.numberOfBytesTransferred = static_cast<long long>(relay_->bytes.load());
    event.observedBitrateStandardDeviation = stats_->observedBitrateStandardDeviation;
    // What the demuxer measures: its download bandwidth, and how far ahead of the
    // position it holds media, which gives the media time the bytes carry.
    double bytes = static_cast<double>(relay_->bytes.load());
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (demuxer) {
        guint bandwidth = 0;
        guint64 videoLevel = 0, audioLevel = 0;
        g_object_get(demuxer, "current-bandwidth", &bandwidth, "current-level-time-video", &videoLevel,
                     "current-level-time-audio", &audioLevel, nullptr);
        gst_object_unref(demuxer);
        double ahead = std::max(videoLevel, audioLevel) / 1e9;
        double media = currentTime().toSeconds() + ahead;
        if (duration_.isNumeric()) media = std::min(media, duration_.toSeconds());
        if (bandwidth > 0) {
            stats_->observedBitrate = bandwidth;
            stats_->observedMaxBitrate = std::max(stats_->observedMaxBitrate, double(bandwidth));
            stats_->observedMinBitrate = stats_->observedMinBitrate > 0 ? std::min(stats_->observedMinBitrate, double(bandwidth)) : bandwidth;
            stats_->transferDuration = bytes * 8 / bandwidth;
        }
        if (media > stats_->segmentsDownloadedDuration) stats_->segmentsDownloadedDuration = media;
    }
    event.observedBitrate = stats_->observedBitrate;
    event.observedMaxBitrate = stats_->observedMaxBitrate;
    event.observedMinBitrate = stats_->observedMinBitrate;
    event.transferDuration = stats_->transferDuration;
    event.segmentsDownloadedDuration = stats_->segmentsDownloadedDuration;
    event.indicatedBitrate = stats_->segmentsDownloadedDuration > 0 ? bytes * 8.0 / stats_->segmentsDownloadedDuration : 0;
    event.switchBitrate = event.indicatedBitrate;
    event.numberOfDroppedVideoFrames = dropped_;
}

}  // namespace media::gstimpl
