#include "GstSession.h"
#include "TlsProbe.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <fnd/Queue.h>
#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::gstimpl {

namespace {

/// "ENG" of the stream id "audio-ENG" (and "English" of "text-English"): the name the
/// HLS demuxer gives an alternative rendition's stream; empty for any other id.
std::string renditionNameOfStreamID(const std::string& id) {
    for (std::string_view prefix : {"audio-", "text-"})
        if (id.size() > prefix.size() && id.compare(0, prefix.size(), prefix) == 0 &&
            id.find('/') == std::string::npos)
            return id.substr(prefix.size());
    return {};
}

double nowSeconds() { return fnd::RunLoop::main()->clock().now(); }

Time fromClockTime(gint64 ns) {
    if (ns < 0) return Time::invalid();
    return Time{ns / 1000, 1'000'000, Time::Valid};
}

bool contains(const std::string& text, const char* needle) { return text.find(needle) != std::string::npos; }

std::string codecOf(const GstCaps* caps) {
    if (!caps || gst_caps_get_size(caps) == 0) return {};
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    std::string name = gst_structure_get_name(s);
    if (name == "video/x-h264") return "avc1";
    if (name == "video/x-h265") return "hvc1";
    if (name == "video/x-vp9") return "vp09";
    if (name == "audio/mpeg") {
        int version = 0;
        gst_structure_get_int(s, "mpegversion", &version);
        return version == 1 ? ".mp3" : "mp4a";
    }
    if (name == "audio/x-ac3") return "ac-3";
    if (name == "audio/x-eac3") return "ec-3";
    if (name == "application/x-subtitle-vtt" || name == "text/vtt") return "wvtt";
    if (name == "text/x-raw") return "text";
    return name;
}

/// Seconds a handshake that looks into a failed secure connection may take.
constexpr unsigned kTlsProbeTimeout = 5;

/// Seconds of media held ahead that count as buffered enough to play on.
constexpr double kEnoughBuffered = 4.0;

bool isDecodingBin(GstObject* object) {
    if (!GST_IS_ELEMENT(object)) return false;
    GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(object));
    return factory && std::strcmp(GST_OBJECT_NAME(factory), "decodebin3") == 0;
}

/// Seconds a stream choice may take to be applied before the next is sent regardless.
constexpr double kSelectionSettleBound = 2.0;

/// The position a buffer belongs to, whatever offset the demuxer adds to its timestamps.
Time streamTime(GstSample* sample, GstBuffer* buffer) {
    if (!GST_BUFFER_PTS_IS_VALID(buffer)) return Time::invalid();
    const GstSegment* segment = gst_sample_get_segment(sample);
    guint64 t = segment && segment->format == GST_FORMAT_TIME
                    ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer))
                    : GST_BUFFER_PTS(buffer);
    return GST_CLOCK_TIME_IS_VALID(t) ? fromClockTime(static_cast<gint64>(t)) : Time::invalid();
}

/// The frame's bytes stay mapped until the last VideoFrame over them goes. Only the
/// buffer is kept: the sink reuses its sample for the next picture and sets new caps on
/// it after a flush, which it may do only while nobody else holds that sample.
struct MappedBuffer {
    GstBuffer* buffer = nullptr;
    GstMapInfo map{};
    ~MappedBuffer() {
        if (!buffer) return;
        gst_buffer_unmap(buffer, &map);
        gst_buffer_unref(buffer);
    }
};

GstFlowReturn onVideoSample(GstAppSink* sink, gpointer data, bool preroll) {
    auto* relay = static_cast<std::shared_ptr<Relay>*>(data)->get();
    GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    auto holder = std::make_shared<MappedBuffer>();
    if (!gst_buffer_map(buffer, &holder->map, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    holder->buffer = gst_buffer_ref(buffer);
    Time pts = streamTime(sample, buffer);
    gst_sample_unref(sample);
    int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const std::uint8_t* bytes = holder->map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    relay->postFrame(rt::make<VideoFrame>(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), stride, bytes,
                                          std::shared_ptr<const void>(holder), pts));
    return GST_FLOW_OK;
}

GstFlowReturn onVideoNewSample(GstAppSink* sink, gpointer data) { return onVideoSample(sink, data, false); }
GstFlowReturn onVideoNewPreroll(GstAppSink* sink, gpointer data) { return onVideoSample(sink, data, true); }

GstFlowReturn onTextSample(GstAppSink* sink, gpointer data, bool preroll) {
    auto* relay = static_cast<std::shared_ptr<Relay>*>(data)->get();
    GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        LegibleCue cue;
        cue.text.assign(reinterpret_cast<const char*>(map.data), map.size);
        cue.start = streamTime(sample, buffer);
        cue.duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? fromClockTime(static_cast<gint64>(GST_BUFFER_DURATION(buffer)))
                                                            : Time::invalid();
        gst_buffer_unmap(buffer, &map);
        if (!preroll) relay->postCue(std::move(cue));
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn onTextNewSample(GstAppSink* sink, gpointer data) { return onTextSample(sink, data, false); }
GstFlowReturn onTextNewPreroll(GstAppSink* sink, gpointer data) { return onTextSample(sink, data, true); }

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

// ---- trust for https media ---------------------------------------------------------

constexpr const char* kSystemAnchors = "/etc/ssl/certs/ca-certificates.crt";

struct TrustStores {
    std::mutex mutex;
    GTlsDatabase* system = nullptr;                 // the process's default before any change
    std::map<std::string, GTlsDatabase*> extended;  // system anchors plus extra PEM, by PEM
    std::string everyExtra;                         // every extra PEM so far, for the default
    std::vector<std::string> files;                 // their bundles, removed at exit
};

TrustStores& trustStores() {
    static auto* stores = new TrustStores;  // lives as long as the process
    return *stores;
}

/// A database of the system's anchors plus `pem`. Its file stays until the process ends:
/// the database reads it again for each connection. Called with the stores locked.
GTlsDatabase* makeTrust(TrustStores& stores, const std::string& pem, std::string& failure) {
    std::ostringstream bundle;
    if (std::ifstream system{kSystemAnchors}) bundle << system.rdbuf() << "\n";
    bundle << pem << "\n";
    gchar* path = nullptr;
    GError* error = nullptr;
    gint fd = g_file_open_tmp("zid-trust-XXXXXX.pem", &path, &error);
    if (fd < 0) {
        failure = std::string("cannot write the trust store: ") + (error ? error->message : "no temporary file");
        if (error) g_error_free(error);
        return nullptr;
    }
    close(fd);
    std::string text = bundle.str();
    GTlsDatabase* database = nullptr;
    if (g_file_set_contents(path, text.c_str(), static_cast<gssize>(text.size()), &error))
        database = g_tls_file_database_new(path, &error);
    if (database) {
        stores.files.emplace_back(path);
        static const bool cleanupRegistered = [] {
            std::atexit([] {
                for (const auto& file : trustStores().files) g_unlink(file.c_str());
            });
            return true;
        }();
        (void)cleanupRegistered;
    } else {
        g_unlink(path);
        failure = std::string("the extra certificate authorities cannot be read: ") + (error ? error->message : "unknown");
    }
    if (error) g_error_free(error);
    g_free(path);
    return database;
}

/// The system's anchors plus `pem` as one database, built once per PEM; sets `failure`
/// when it cannot be made.
GTlsDatabase* extendedTrust(const std::string& pem, std::string& failure) {
    auto& stores = trustStores();
    std::lock_guard lock(stores.mutex);
    GTlsBackend* backend = g_tls_backend_get_default();
    if (!stores.system) stores.system = g_tls_backend_get_default_database(backend);  // keeps the reference
    if (auto it = stores.extended.find(pem); it != stores.extended.end()) return it->second;
    GTlsDatabase* database = makeTrust(stores, pem, failure);
    if (!database) return nullptr;
    stores.extended[pem] = database;
    // The adaptive demuxer's own downloader has no trust setting: it takes the default
    // database, which therefore holds the system's anchors and every extra one so far.
    stores.everyExtra += pem + "\n";
    GTlsDatabase* every = stores.extended.size() == 1 ? static_cast<GTlsDatabase*>(g_object_ref(database)) : makeTrust(stores, stores.everyExtra, failure);
    if (!every) return nullptr;
    g_tls_backend_set_default_database(backend, every);
    g_object_unref(every);
    return database;
}

/// The database a source of a pipeline without extra anchors uses: the system's, even
/// after the default was extended for another pipeline.
GTlsDatabase* systemTrust() {
    auto& stores = trustStores();
    std::lock_guard lock(stores.mutex);
    return stores.system;
}

void onSourceSetup(GstElement*, GstElement* source, gpointer data) {
    auto* database = static_cast<GTlsDatabase*>(data);
    if (!database) database = systemTrust();
    if (!database || !g_object_class_find_property(G_OBJECT_GET_CLASS(source), "tls-database")) return;
    g_object_set(source, "tls-database", database, nullptr);
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "ssl-strict")) g_object_set(source, "ssl-strict", TRUE, nullptr);
}

void deleteRelayHandle(gpointer data);

/// The https URL an HTTP source element reads, or "" for anything else.
std::string httpsLocationOf(GstObject* element) {
    if (!element || !G_IS_OBJECT(element) || !g_object_class_find_property(G_OBJECT_GET_CLASS(element), "location"))
        return {};
    gchar* location = nullptr;
    g_object_get(element, "location", &location, nullptr);
    std::string url = location ? location : "";
    g_free(location);
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
        // A progressive file is otherwise demuxed inside the source bin and buffered per
        // elementary stream in a queue of its own; the engine (1.22) can crash in the
        // decoder bin when that queue's thread delivers the end of the streams while the
        // decoder bin is tearing its inputs down. Without that buffering the demuxer's own
        // thread delivers them. Adaptive streams are unaffected: their demuxer buffers and
        // reports buffering itself.
        g_object_set(element, "use-buffering", FALSE, nullptr);
        return;
    }
    if (name == "hlsdemux2") {
        std::lock_guard lock(relay->mutex);
        if (!relay->demuxer) relay->demuxer = GST_ELEMENT(gst_object_ref(element));
        return;
    }
    if (name != "parsebin" || !insideAdaptiveDemuxer(element)) return;
    if (GstPad* pad = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), countBytes,
                          new std::shared_ptr<Relay>(*static_cast<std::shared_ptr<Relay>*>(data)), deleteRelayHandle);
        gst_object_unref(pad);
    }
}

void deleteRelayHandle(gpointer data) { delete static_cast<std::shared_ptr<Relay>*>(data); }

/// Whether the main loop has anything to do with the message: the rest (state changes of
/// inner elements, thread status, tags, contexts) is dropped on the streaming thread, so
/// the main thread is woken only for what it acts on.
bool wanted(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
        case GST_MESSAGE_EOS:
        case GST_MESSAGE_ASYNC_DONE:
        case GST_MESSAGE_BUFFERING:
        case GST_MESSAGE_STREAM_COLLECTION:
        case GST_MESSAGE_STREAMS_SELECTED:
        case GST_MESSAGE_DURATION_CHANGED:
        case GST_MESSAGE_QOS:
        case GST_MESSAGE_LATENCY:
            return true;
        case GST_MESSAGE_STATE_CHANGED:
            return GST_IS_PIPELINE(GST_MESSAGE_SRC(message));
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* s = gst_message_get_structure(message);
            return s && gst_structure_has_name(s, "http-headers");
        }
        default:
            return false;
    }
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    if (wanted(message)) static_cast<std::shared_ptr<Relay>*>(data)->get()->postMessage(message);
    return GST_BUS_DROP;
}

}  // namespace

void Relay::postMessage(GstMessage* message) {
    if (closed.load()) return;
    // The message travels as a shared reference: a block dropped unrun still releases it.
    std::shared_ptr<GstMessage> held(gst_message_ref(message), [](GstMessage* m) { gst_message_unref(m); });
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, held] {
        if (auto s = weak.lock()) s->handleMessage(held.get());
    });
}

void Relay::postFrame(rt::Ref<VideoFrame> frame) {
    if (closed.load()) return;
    {
        std::lock_guard lock(mutex);
        latestFrame = std::move(frame);
        if (framePosted) return;  // the main loop, once woken, takes the newest picture
        framePosted = true;
    }
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(frameSignal, &one, sizeof one);
}

void Relay::postCue(LegibleCue cue) {
    if (closed.load()) return;
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, cue] {
        if (auto s = weak.lock()) s->deliverCue(cue);
    });
}

GstSession::GstSession(std::string url, GstEngine::Options options)
    : url_(std::move(url)), options_(options), relay_(std::make_shared<Relay>()) {}

GstSession::~GstSession() { shutdown(); }

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
        if (auto s = session.lock()) s->deliverFrame();
    });
    gst_object_ref_sink(pipeline_);
    gst_object_ref(videoSink_);
    gst_object_ref(textSink_);
    if (options_.nullOutput) g_object_set(audioSink, "sync", TRUE, nullptr);

    GstCaps* videoCaps = gst_caps_from_string("video/x-raw,format=BGRA");
    g_object_set(videoSink_, "caps", videoCaps, "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
    gst_caps_unref(videoCaps);
    g_object_set(textSink_, "sync", TRUE, "async", FALSE, nullptr);

    GstAppSinkCallbacks videoCallbacks{};
    videoCallbacks.new_sample = onVideoNewSample;
    videoCallbacks.new_preroll = onVideoNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoSink_), &videoCallbacks, new std::shared_ptr<Relay>(relay_), deleteRelayHandle);
    GstAppSinkCallbacks textCallbacks{};
    textCallbacks.new_sample = onTextNewSample;
    textCallbacks.new_preroll = onTextNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(textSink_), &textCallbacks, new std::shared_ptr<Relay>(relay_), deleteRelayHandle);

    g_object_set(pipeline_, "uri", url_.c_str(), "video-sink", videoSink_, "audio-sink", audioSink, "text-sink", textSink_,
                 nullptr);
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
        if (!s || s->prerolled_ || s->failed_ || s->closed_) return;
        s->failWith(makeMediaError(MediaErrorCode::CannotConnect,
                                   rt::format("\"%s\" did not answer within %.0f seconds.", s->url_, s->options_.loadTimeout)));
    });

    requested_ = GST_STATE_PAUSED;
    // A failure to start is reported by an error message on the bus, with its details.
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    return nullptr;
}

void GstSession::shutdown() {
    if (closed_) return;
    closed_ = true;
    if (bufferingTimer_) bufferingTimer_->invalidate();
    if (selectionTimer_) selectionTimer_->invalidate();
    accountWatched();
    relay_->closed = true;
    if (loadTimer_) loadTimer_->invalidate();
    if (frameSource_) fnd::RunLoop::main()->removeSource(std::exchange(frameSource_, 0));
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
    if (videoSink_) gst_object_unref(videoSink_);
    if (textSink_) gst_object_unref(textSink_);
    videoSink_ = textSink_ = nullptr;
    if (collection_) gst_object_unref(collection_);
    collection_ = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->latestFrame = nullptr;
        if (relay_->demuxer) gst_object_unref(relay_->demuxer);
        relay_->demuxer = nullptr;
    }
    if (seekDone_) finishSeek(false);
}

void GstSession::attach(const rt::Ref<PlayerItem>& item) {
    item_ = item;
    attached_ = true;
    if (failed_ || !prerolled_) return;
    std::weak_ptr<GstSession> weak = weak_from_this();
    // Reported on the next turn, as a freshly made pipeline would.
    fnd::RunLoop::main()->post([weak] {
        if (auto s = weak.lock(); s && !s->closed_) s->onPrerolled();
    });
}

void GstSession::finishLoad(rt::Ref<rt::Error> error) {
    if (loadTimer_) loadTimer_->invalidate();
    if (!loadDone_) return;
    auto done = std::exchange(loadDone_, nullptr);
    done(std::move(error), error ? AssetInfo{} : info());
}

void GstSession::failWith(rt::Ref<rt::Error> error, GstObject* brokenSource) {
    if (failed_ || closed_) return;
    failed_ = true;
    if (pipeline_) gst_element_set_state(pipeline_, GST_STATE_NULL);
    relay_->closed = true;
    if (seekDone_) finishSeek(false);
    if (loadTimer_) loadTimer_->invalidate();
    std::string secureURL = brokenSource ? httpsLocationOf(brokenSource) : std::string();
    if (!secureURL.empty()) {
        reportAfterCheckingTls(std::move(error), secureURL, GST_OBJECT_NAME(brokenSource));
        return;
    }
    reportFailure(error);
}

void GstSession::reportFailure(const rt::Ref<rt::Error>& error) {
    finishLoad(error);
    if (auto item = item_.lock()) item->engineDidFail(error);
}

void GstSession::reportAfterCheckingTls(rt::Ref<rt::Error> error, const std::string& url, const std::string& element) {
    // The HTTP source says only that its stream broke. Shaking hands with the server
    // again, with the same trust, tells a refused certificate (and why) apart from a
    // server that cannot be reached; the failure is reported once that is known.
    GTlsDatabase* database = trust_ ? trust_ : systemTrust();
    if (database) g_object_ref(database);
    std::weak_ptr<GstSession> weak = weak_from_this();
    std::thread([weak, error, url, element, database] {
        TlsProbeResult probe = probeTls(url, database, kTlsProbeTimeout);
        if (database) g_object_unref(database);
        fnd::RunLoop::main()->post([weak, error, element, probe] {
            auto s = weak.lock();
            if (!s || s->closed_) return;
            if (!probe.reached || probe.reason.empty()) {
                s->reportFailure(error);
                return;
            }
            std::string reason = probe.reason;
            reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
            auto cause = makeMediaError(MediaErrorCode::SecureConnectionFailed, reason + ".");
            rt::Dictionary info = error->userInfo();
            info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
                     rt::Value(element + ": cannot connect securely to the server (" + probe.reason + ")"));
            info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause));
            s->reportFailure(rt::Error::make(error->domain(), error->code(), info));
        });
    }).detach();
}

rt::Ref<rt::Error> GstSession::errorFromMessage(GstMessage* message) const {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string element = GST_MESSAGE_SRC(message) ? GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) : "pipeline";
    std::string text = error ? error->message : "unknown error";
    std::string details = debug ? debug : "";
    std::string all = text + " " + details;
    MediaErrorCode code = MediaErrorCode::EngineFailed;
    if (error && error->domain == GST_RESOURCE_ERROR) {
        if (error->code == GST_RESOURCE_ERROR_NOT_FOUND || contains(all, "404") || contains(all, "Not Found"))
            code = MediaErrorCode::ResourceNotFound;
        else if (error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED || contains(all, "403") || contains(all, "401") ||
                 contains(all, "Forbidden"))
            code = MediaErrorCode::AccessDenied;
        else if (contains(all, "Internal Server Error") || contains(all, "Service Unavailable") || contains(all, " 50"))
            code = MediaErrorCode::ServerFailed;
        else
            code = MediaErrorCode::CannotConnect;
    } else if (error && error->domain == GST_STREAM_ERROR) {
        code = error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND || error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND
                   ? MediaErrorCode::NotPlayable
                   : MediaErrorCode::DecodeFailed;
        // The adaptive demuxer reports a failed download as a stream error.
        if (contains(all, "404") || contains(all, "Not Found")) code = MediaErrorCode::ResourceNotFound;
        else if (contains(all, "403") || contains(all, "Forbidden")) code = MediaErrorCode::AccessDenied;
        else if (contains(all, "Connection refused") || contains(all, "Could not connect") || contains(all, "connect to"))
            code = MediaErrorCode::CannotConnect;
    } else if (error && error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) {
        code = MediaErrorCode::NotPlayable;
    }
    if (code == MediaErrorCode::CannotConnect && (contains(all, "404") || contains(all, "Not Found")))
        code = MediaErrorCode::ResourceNotFound;
    // The HTTP source reports a refused connection only as a failed stream: what the
    // server answered, if anything, tells the cases apart.
    if (contains(element, "souphttpsrc") && error && error->domain == GST_STREAM_ERROR) {
        if (httpStatus_ == 0) code = MediaErrorCode::CannotConnect;
        else if (httpStatus_ == 404 || httpStatus_ == 410) code = MediaErrorCode::ResourceNotFound;
        else if (httpStatus_ == 401 || httpStatus_ == 403) code = MediaErrorCode::AccessDenied;
        else if (httpStatus_ >= 500) code = MediaErrorCode::ServerFailed;
        if (httpStatus_ == 0) text = "cannot connect to the server (" + text + ")";
        else if (httpStatus_ >= 400) text = "the server answered HTTP " + std::to_string(httpStatus_) + " (" + text + ")";
    }
    auto result = makeMediaError(code, rt::format("%s: %s", element, text), details);
    if (error) g_error_free(error);
    g_free(debug);
    return result;
}

void GstSession::handleMessage(GstMessage* message) {
    if (closed_ || failed_ || !pipeline_) return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            auto error = errorFromMessage(message);
            // An HTTPS source that broke before any answer may have refused the server's
            // certificate: that is looked into before the failure is told.
            bool unanswered = error->code() == static_cast<long long>(MediaErrorCode::CannotConnect) && httpStatus_ == 0;
            failWith(error, unanswered ? GST_MESSAGE_SRC(message) : nullptr);
            break;
        }
        case GST_MESSAGE_EOS:
            // A pipeline fed by several inputs may post its end more than once; the item
            // reaches its end once per play-through (a seek clears the flag).
            if (ended_) break;
            if (!duration_.isNumeric()) queryDuration();
            ended_ = true;
            accountWatched();
            if (duration_.isNumeric()) lastPosition_ = duration_.toSeconds();
            applyState();
            if (auto item = item_.lock()) item->engineDidPlayToEnd();
            break;
        case GST_MESSAGE_STATE_CHANGED:
            if (GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) {
                GstState oldState, newState;
                gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
                if (newState == GST_STATE_PLAYING) {
                    hasPlayed_ = true;
                    if (playingSince_ < 0) playingSince_ = nowSeconds();
                } else if (oldState == GST_STATE_PLAYING) {
                    accountWatched();
                }
            }
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (!prerolled_) {
                markPrerolled();
            } else if (collection_) {
                // Every stream's caps are known now.
                readCollection(GST_STREAM_COLLECTION(gst_object_ref(collection_)), true);
            }
            if (seeking_) {
                seeking_ = false;
                // A seek asked for meanwhile is still to run: this preroll ends the one
                // before it, which its caller has already been told about.
                if (!seekPending_) finishSeek(true);
            }
            if (seekPending_) doSeek();
            applyState();
            break;
        case GST_MESSAGE_BUFFERING: {
            int percent = 100;
            gst_message_parse_buffering(message, &percent);
            applyBuffering(percent);
            break;
        }
        case GST_MESSAGE_STREAM_COLLECTION: {
            GstStreamCollection* collection = nullptr;
            gst_message_parse_stream_collection(message, &collection);
            if (collection) readCollection(collection, false);
            break;
        }
        case GST_MESSAGE_STREAMS_SELECTED:
            readSelected(message);
            // The last choice has been applied once the decoding side says so (the demuxer
            // says it earlier, while the decoding side is still switching): the next may go.
            if (isDecodingBin(GST_MESSAGE_SRC(message))) {
                selectionInFlight_ = false;
                if (selectionTimer_) selectionTimer_->invalidate();
                sendSelection();
            }
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            queryDuration();
            if (auto item = item_.lock(); item && prerolled_) item->engineDuration(duration_);
            break;
        case GST_MESSAGE_QOS: {
            GstFormat format;
            guint64 processed = 0, dropped = 0;
            gst_message_parse_qos_stats(message, &format, &processed, &dropped);
            if (format == GST_FORMAT_BUFFERS && GST_MESSAGE_SRC(message) == GST_OBJECT(videoSink_))
                dropped_ = std::max<long long>(dropped_, static_cast<long long>(dropped));
            break;
        }
        case GST_MESSAGE_LATENCY:
            gst_bin_recalculate_latency(GST_BIN(pipeline_));
            break;
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* s = gst_message_get_structure(message);
            if (s && gst_structure_has_name(s, "http-headers")) {
                guint status = 0;
                if (gst_structure_get_uint(s, "http-status-code", &status)) httpStatus_ = static_cast<int>(status);
            } else if (s && gst_structure_has_name(s, "adaptive-streaming-statistics")) {
                guint64 size = 0, downloadTime = 0, start = 0, stop = 0;
                gst_structure_get_uint64(s, "fragment-size", &size);
                gst_structure_get_clock_time(s, "fragment-download-time", &downloadTime);
                gst_structure_get_clock_time(s, "fragment-start-time", &start);
                gst_structure_get_clock_time(s, "fragment-stop-time", &stop);
                double media = stop > start ? (stop - start) / 1e9 : 0;
                stats_->recordTransfer(static_cast<long long>(size), downloadTime / 1e9, media);
            }
            break;
        }
        default:
            break;
    }
}

void GstSession::markPrerolled() {
    prerolled_ = true;
    queryDuration();
    // The collection's streams carry the caps found so far.
    if (collection_) readCollection(GST_STREAM_COLLECTION(gst_object_ref(collection_)), true);
    stats_->startupTime = nowSeconds() - createdAt_;
    finishLoad(nullptr);
    if (attached_) onPrerolled();
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
    item->engineSelectionGroups(groups_);
    // The prerolled picture goes first: announcing readiness runs its observers at once
    // (a controller that autoplays starts playing from inside it), and the picture
    // should not wait for all of that to be shown. It is taken out of the mailbox
    // before it is handed over, so no observer runs with the streaming threads' lock held.
    rt::Ref<VideoFrame> prerolled;
    {
        std::lock_guard lock(relay_->mutex);
        prerolled = relay_->latestFrame;
    }
    if (prerolled) item->engineVideoFrame(std::move(prerolled));
    item->engineDidBecomeReady(info(), presentationSize_);
    item->engineBufferingChanged(!buffering_, buffering_ && bufferPercent_ == 0, !buffering_);
    if (duration_.isNumeric())
        item->engineLoadedTimeRanges({TimeRange{Time::zero(), duration_}});
    applyState();
}

AssetInfo GstSession::info() const {
    AssetInfo info;
    info.playable = !tracks_.empty() || prerolled_;
    info.duration = duration_;
    info.tracks = tracks_;
    info.groups = groups_;
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

void GstSession::applyState() {
    if (!pipeline_ || closed_ || failed_) return;
    GstState target = (wantPlaying_ && !buffering_ && !ended_ && prerolled_ && attached_) ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (target == requested_) return;
    requested_ = target;
    if (target != GST_STATE_PLAYING) accountWatched();
    gst_element_set_state(pipeline_, target);
}

void GstSession::applyBuffering(int percent) {
    bufferPercent_ = percent;
    auto item = item_.lock();
    if (percent < 100) {
        if (buffering_ || (prerolled_ && bufferedEnough())) return;
        buffering_ = true;
        watchBuffering();
        bool wasPlaying = requested_ == GST_STATE_PLAYING;
        applyState();
        if (item && prerolled_ && attached_) {
            item->engineBufferingChanged(false, percent == 0 || wasPlaying, false);
            if (wasPlaying && hasPlayed_) item->engineDidStall();
        }
    } else {
        if (!buffering_) return;
        buffering_ = false;
        if (item && prerolled_ && attached_) item->engineBufferingChanged(true, false, true);
        applyState();
    }
}

bool GstSession::bufferedEnough() {
    // The adaptive demuxer may report less than 100 % for good once the last segment is
    // in: its level no longer rises. Media held up to the end (or a few seconds of it)
    // is as good as 100 %, so a paused pipeline never waits for a message that will not
    // come, and a playing one is not stopped for nothing.
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (!demuxer) return false;
    guint64 video = 0, audio = 0;
    g_object_get(demuxer, "current-level-time-video", &video, "current-level-time-audio", &audio, nullptr);
    gst_object_unref(demuxer);
    double ahead = std::max(video, audio) / 1e9;
    bool toTheEnd = duration_.isNumeric() && currentTime().toSeconds() + ahead >= duration_.toSeconds() - 0.1;
    return toTheEnd || ahead >= kEnoughBuffered;
}

void GstSession::watchBuffering() {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    std::weak_ptr<GstSession> weak = weak_from_this();
    bufferingTimer_ = fnd::RunLoop::main()->schedule(0.25, true, [weak](fnd::Timer& timer) {
        auto s = weak.lock();
        if (!s || s->closed_ || s->failed_ || !s->buffering_) {
            timer.invalidate();
            return;
        }
        if (s->bufferedEnough()) s->applyBuffering(100);
    });
}

void GstSession::setRate(float rate) {
    wantPlaying_ = rate != 0;
    applyState();
}

void GstSession::seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) {
    if (closed_ || failed_) {
        if (done) fnd::Queue::main()->async([done] { done(false); });
        return;
    }
    if (seekDone_) finishSeek(false);
    seekDone_ = std::move(done);
    seekTarget_ = time;
    // Invalid tolerances are the default: the key frame at or before the time, which needs no
    // decoding up to the target. Loose tolerances on both sides allow the same; a tight
    // one on either side (zero: exact) asks for an accurate seek.
    auto loose = [](Time tolerance) {
        return !tolerance.isValid() || !tolerance.isNumeric() || tolerance.toSeconds() >= 0.5;
    };
    seekAccurate_ = !(loose(toleranceBefore) && loose(toleranceAfter));
    seekPending_ = true;
    if (prerolled_ && !seeking_) doSeek();
}

void GstSession::doSeek() {
    seekPending_ = false;
    double target = std::max(0.0, seekTarget_.toSeconds());
    // The demuxer finds no segment at the very end and refuses a seek there (a key-frame
    // one leaves the item unable to seek again), so a seek to the end or past it aims a
    // millisecond before it: the last picture, and the end a moment after playing on.
    if (duration_.isNumeric()) target = std::min(target, std::max(0.0, duration_.toSeconds() - 0.001));
    // A loose seek snaps to the key frame at or before the time, never the nearest: in
    // the last key-frame interval the nearest one after the time is the end of the
    // stream, and the adaptive demuxer refuses that seek after it has flushed, leaving
    // the item unable to seek or play again.
    auto flags = static_cast<GstSeekFlags>(
        GST_SEEK_FLAG_FLUSH |
        (seekAccurate_ ? GST_SEEK_FLAG_ACCURATE : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
    if (!gst_element_seek_simple(pipeline_, GST_FORMAT_TIME, flags, static_cast<gint64>(target * GST_SECOND))) {
        std::weak_ptr<GstSession> weak = weak_from_this();
        fnd::Queue::main()->async([weak] {
            if (auto s = weak.lock()) s->finishSeek(false);
        });
        return;
    }
    seeking_ = true;
    ended_ = false;
    lastPosition_ = target;
}

void GstSession::finishSeek(bool finished) {
    auto done = std::exchange(seekDone_, nullptr);
    if (done) done(finished);
}

Time GstSession::currentTime() {
    if (seeking_ || seekPending_) return seekTarget_;
    if (!ended_ && pipeline_ && !closed_ && !failed_ && prerolled_) {
        gint64 ns = -1;
        if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0) lastPosition_ = ns / 1e9;
    }
    double p = lastPosition_;
    // Decoders may report a little past the end; the position never exceeds the duration.
    if (duration_.isNumeric()) p = std::min(p, duration_.toSeconds());
    return Time::seconds(std::max(0.0, p), 1'000'000);
}

void GstSession::setMuted(bool muted) {
    if (pipeline_) g_object_set(pipeline_, "mute", muted ? TRUE : FALSE, nullptr);
}

void GstSession::setVolume(float volume) {
    if (pipeline_) g_object_set(pipeline_, "volume", static_cast<gdouble>(volume), nullptr);
}

void GstSession::readCollection(GstStreamCollection* collection, bool quiet) {
    // Takes the reference passed in.
    if (collection_) gst_object_unref(collection_);
    collection_ = collection;
    std::vector<rt::Ref<MediaSelectionOption>> audio, text;
    rt::Ref<MediaSelectionOption> audioDefault, textDefault;
    tracks_.clear();
    videoStream_.clear();
    guint n = gst_stream_collection_get_size(collection);
    for (guint i = 0; i < n; ++i) {
        GstStream* stream = gst_stream_collection_get_stream(collection, i);
        const gchar* sid = gst_stream_get_stream_id(stream);
        std::string id = sid ? sid : "";
        GstStreamType type = gst_stream_get_stream_type(stream);
        GstTagList* tags = gst_stream_get_tags(stream);
        GstCaps* caps = gst_stream_get_caps(stream);
        gchar* language = nullptr;
        gchar* title = nullptr;
        if (tags) {
            gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_CODE, &language);
            if (!gst_tag_list_get_string(tags, GST_TAG_TITLE, &title)) gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_NAME, &title);
        }
        std::string lang = language ? language : "";
        // The HLS demuxer names a rendition's stream after the playlist's NAME
        // ("audio-ENG", "text-English") and tags only its language: that NAME is the
        // rendition's title when no title tag says otherwise.
        if (!title) {
            auto named = renditionNameOfStreamID(id);
            if (!named.empty()) title = g_strdup(named.c_str());
        }
        std::string name = title ? title : lang;
        bool isDefault = (gst_stream_get_stream_flags(stream) & GST_STREAM_FLAG_SELECT) != 0;
        AssetTrack::Description d;
        d.trackID = id;
        d.codec = codecOf(caps);
        d.languageCode = lang;
        if (type & GST_STREAM_TYPE_VIDEO) {
            d.mediaType = MediaTypeVideo;
            if (caps && gst_caps_get_size(caps) > 0) {
                const GstStructure* s = gst_caps_get_structure(caps, 0);
                int w = 0, h = 0, num = 0, den = 1;
                gst_structure_get_int(s, "width", &w);
                gst_structure_get_int(s, "height", &h);
                if (gst_structure_get_fraction(s, "framerate", &num, &den) && den) d.nominalFrameRate = float(num) / den;
                d.naturalSize = {double(w), double(h)};
            }
            if (videoStream_.empty()) videoStream_ = id;
        } else if (type & GST_STREAM_TYPE_AUDIO) {
            d.mediaType = MediaTypeAudio;
            std::vector<MetadataItem> meta;
            if (title) meta.push_back({MetadataKeySpaceCommon, MetadataCommonKeyTitle, title});
            auto option = rt::make<MediaSelectionOption>(id, MediaTypeAudio, lang, name, meta);
            audio.push_back(option);
            if (isDefault && !audioDefault) audioDefault = option;
        } else if (type & GST_STREAM_TYPE_TEXT) {
            d.mediaType = MediaTypeSubtitle;
            std::vector<MetadataItem> meta;
            if (title) meta.push_back({MetadataKeySpaceCommon, MetadataCommonKeyTitle, title});
            auto option = rt::make<MediaSelectionOption>(id, MediaTypeSubtitle, lang, name, meta);
            text.push_back(option);
            if (isDefault && !textDefault) textDefault = option;
        }
        if (!d.mediaType.empty()) tracks_.push_back(rt::make<AssetTrack>(d));
        g_free(language);
        g_free(title);
        if (tags) gst_tag_list_unref(tags);
        if (caps) gst_caps_unref(caps);
    }
    groups_.clear();
    if (!audio.empty())
        groups_.push_back(rt::make<MediaSelectionGroup>(MediaCharacteristicAudible, audio, audioDefault ? audioDefault : audio.front(), false));
    if (!text.empty()) groups_.push_back(rt::make<MediaSelectionGroup>(MediaCharacteristicLegible, text, textDefault, true));
    if (auto item = item_.lock(); item && prerolled_ && !quiet) item->engineSelectionGroups(groups_);
}

void GstSession::readSelected(GstMessage* message) {
    auto item = item_.lock();
    guint n = gst_message_streams_selected_get_size(message);
    rt::Ref<MediaSelectionOption> audio, text;
    for (guint i = 0; i < n; ++i) {
        GstStream* stream = gst_message_streams_selected_get_stream(message, i);
        if (!stream) continue;
        std::string id = gst_stream_get_stream_id(stream) ? gst_stream_get_stream_id(stream) : "";
        for (const auto& group : groups_) {
            if (auto option = group->optionWithStreamID(id)) {
                if (group->characteristic() == MediaCharacteristicAudible) audio = option;
                else text = option;
            }
        }
        gst_object_unref(stream);
    }
    selectedAudio_ = audio ? audio->streamID() : std::string();
    selectedText_ = text ? text->streamID() : std::string();
    if (!item) return;
    if (audio) item->engineSelected(MediaCharacteristicAudible, audio);
    if (std::any_of(groups_.begin(), groups_.end(), [](const auto& g) { return g->characteristic() == MediaCharacteristicLegible; }))
        item->engineSelected(MediaCharacteristicLegible, text);
}

void GstSession::select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) {
    if (group->characteristic() == MediaCharacteristicAudible) {
        if (option) wantedAudio_ = option->streamID();
    } else if (group->characteristic() == MediaCharacteristicLegible) {
        textOff_ = !option;
        if (option) wantedText_ = option->streamID();
    }
    // Choices made together (an audio and a subtitle option, say) go as one: sent in the
    // next turn of the loop.
    if (selectionWanted_) return;
    selectionWanted_ = true;
    std::weak_ptr<GstSession> weak = weak_from_this();
    fnd::RunLoop::main()->post([weak] {
        if (auto self = weak.lock()) self->sendSelection();
    });
}

void GstSession::sendSelection() {
    if (!pipeline_ || closed_ || failed_ || !selectionWanted_) return;
    // One choice at a time: a selection sent while the demuxer is still switching to the
    // last one (pushing the new streams' events) deadlocks GStreamer 1.22's playbin3, whose
    // selection handling and the demuxer's output each hold the lock the other waits for;
    // the pipeline's state lock is taken with them, so the next play or pause would hang
    // too. The next choice therefore waits for the streams the last one selected, or for a
    // bound, should no such message come (a choice that changes nothing).
    if (selectionInFlight_) return;
    selectionWanted_ = false;
    selectionInFlight_ = true;
    std::weak_ptr<GstSession> weak = weak_from_this();
    selectionTimer_ = fnd::RunLoop::main()->after(kSelectionSettleBound, [weak] {
        if (auto self = weak.lock()) {
            self->selectionInFlight_ = false;
            self->sendSelection();
        }
    });
    GList* streams = nullptr;
    // A group nobody has chosen in keeps what plays now (dropping a stream and asking
    // for it again later does not bring it back), else its default.
    auto untouched = [&](const char* characteristic, const std::string& playing) -> std::string {
        if (!playing.empty()) return playing;
        for (const auto& g : groups_)
            if (g->characteristic() == characteristic && g->defaultOption()) return g->defaultOption()->streamID();
        return {};
    };
    if (!videoStream_.empty()) streams = g_list_append(streams, g_strdup(videoStream_.c_str()));
    std::string audio = wantedAudio_ ? *wantedAudio_ : untouched(MediaCharacteristicAudible, selectedAudio_);
    if (!audio.empty()) streams = g_list_append(streams, g_strdup(audio.c_str()));
    if (!textOff_) {
        std::string text = wantedText_ ? *wantedText_ : untouched(MediaCharacteristicLegible, selectedText_);
        if (!text.empty()) streams = g_list_append(streams, g_strdup(text.c_str()));
    }
    GstEvent* event = gst_event_new_select_streams(streams);
    g_list_free_full(streams, g_free);
    // The demuxer handles the event under locks that prerolled streaming threads hold
    // while the pipeline is paused: sent from the main thread it could wait for ever.
    // A sender thread delivers it instead (at once when playing, at the next play when
    // paused, or not at all when the pipeline stops first); only the newest choice waits.
    std::lock_guard lock(relay_->mutex);
    if (relay_->pendingSelection) gst_event_unref(relay_->pendingSelection);
    relay_->pendingSelection = event;
    if (relay_->selectionSenderRunning) return;
    relay_->selectionSenderRunning = true;
    auto relay = relay_;
    auto* pipeline = GST_ELEMENT(gst_object_ref(pipeline_));
    std::thread([relay, pipeline] {
        for (;;) {
            GstEvent* next = nullptr;
            {
                std::lock_guard lock(relay->mutex);
                next = std::exchange(relay->pendingSelection, nullptr);
                if (!next) {
                    relay->selectionSenderRunning = false;
                    break;
                }
            }
            gst_element_send_event(pipeline, next);
        }
        gst_object_unref(pipeline);
    }).detach();
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
    event.numberOfMediaRequests = stats_->numberOfMediaRequests;
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

void GstSession::deliverFrame() {
    rt::Ref<VideoFrame> frame;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->framePosted = false;
        frame = relay_->latestFrame;
    }
    if (!frame || closed_ || failed_) return;
    // The first picture is as good as a finished preroll for whoever waits for one: the
    // audio sink may still be prerolling, but the picture is there to show.
    if (!prerolled_) {
        markPrerolled();
        return;  // onPrerolled hands the picture over
    }
    auto item = item_.lock();
    if (!item || !prerolled_ || !attached_) return;
    Size size{static_cast<double>(frame->width()), static_cast<double>(frame->height())};
    if (!(size == presentationSize_)) {
        presentationSize_ = size;
        item->enginePresentationSize(size);
    }
    item->engineVideoFrame(std::move(frame));
}

void GstSession::deliverCue(const LegibleCue& cue) {
    if (auto item = item_.lock(); item && !closed_) item->engineLegibleCue(cue);
}

}  // namespace media::gstimpl
