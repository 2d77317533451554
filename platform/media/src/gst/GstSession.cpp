#include "GstSession.h"
#include "GstFetchGuard.h"
#include "GstTrust.h"
#include "QuotedURI.h"

#include <gio/gio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::gstimpl {

namespace {

/// Seconds a teardown waits for the demuxer's playlist and key reads to end: the service
/// answers each at once when its item ends, so they end within moments; one that does not
/// (a downloader stuck elsewhere) is left to the teardown as before, within its bound.
constexpr double kReadsEndBound = 1.0;

}  // namespace

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
    watchElementsAdded(pipeline_, relay_);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, onBusMessage, newRelayHandle(relay_), deleteRelayHandle);
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
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->latestFrame = nullptr;
        absorbDirectPictures(true);
        relay_->outlet = nullptr;
        relay_->memory = nullptr;
        demuxer = std::exchange(relay_->demuxer, nullptr);
    }
    if (demuxer) {
        // Nothing the item's demuxer was downloading goes on without the item. Out of
        // the relay's lock: the guard's lock is taken first where both are held.
        FetchGuard::stopDownloads(demuxer);
        readsEnded = FetchGuard::readsEnded(demuxer, kReadsEndBound);
        gst_object_unref(demuxer);
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

}  // namespace media::gstimpl
