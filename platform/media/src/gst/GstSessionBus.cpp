// A session's bus: the messages the pipeline posts, sifted on the posting thread and
// handled in order on the main loop, and the errors made from them.

#include "GstFetchGuard.h"
#include "GstPlaylistCheck.h"
#include "GstSession.h"
#include "QuotedURI.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::gstimpl {

namespace {

bool contains(const std::string& text, const char* needle) { return text.find(needle) != std::string::npos; }

/// The engine's detail of an error without where in the engine it arose: its debug text
/// starts with a source file, a function and the path of the pipeline's elements, which
/// mean nothing to whoever reads the error.
std::string detailWithoutOrigin(const std::string& debug) {
    auto path = debug.find("): /");
    if (path == std::string::npos) return debug;
    auto newline = debug.find('\n', path);
    return newline == std::string::npos ? std::string() : debug.substr(newline + 1);
}

/// The element's own text of an error, or "" when it is only the engine's stock text: the
/// default of the error's kind, or what any element says when its stream stopped
/// ("Internal data stream error."). Neither tells anybody what failed.
std::string elementText(const GError* error) {
    if (!error || !error->message) return {};
    for (const char* said : {"Internal data stream error.", "Internal data flow error."})
        if (std::strcmp(error->message, said) == 0) return {};
    gchar* stock = gst_error_get_message(error->domain, error->code);
    bool isStock = stock && std::strcmp(stock, error->message) == 0;
    g_free(stock);
    return isStock ? std::string() : std::string(error->message);
}

/// What failed, in words, for an error whose element said nothing of its own.
const char* plainText(MediaErrorCode code) {
    switch (code) {
        case MediaErrorCode::ResourceNotFound: return "not found";
        case MediaErrorCode::AccessDenied: return "access denied";
        case MediaErrorCode::ServerFailed: return "the server failed";
        case MediaErrorCode::CannotConnect: return "cannot connect to the server";
        case MediaErrorCode::NotPlayable: return "this media cannot be played";
        case MediaErrorCode::DecodeFailed: return "the media could not be decoded";
        default: return "the media could not be read";
    }
}

bool isDecodingBin(GstObject* object) {
    if (!GST_IS_ELEMENT(object)) return false;
    GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(object));
    return factory && std::strcmp(GST_OBJECT_NAME(factory), "decodebin3") == 0;
}

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

}  // namespace

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    if (wanted(message)) RelayCall(data)->postMessage(message);
    // A handler that drops a message owns it: kept, each message would hold its source
    // element, and with the pipeline's own messages the whole pipeline (its threads, its
    // buffers) would outlive the item.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void Relay::postMessage(GstMessage* message) {
    if (closed.load()) return;
    // The message travels as a shared reference: a block dropped unrun still releases it.
    std::shared_ptr<GstMessage> held(gst_message_ref(message), [](GstMessage* m) { gst_message_unref(m); });
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, held] {
        if (auto s = weak.lock()) s->handleMessage(held.get());
    });
}

rt::Ref<rt::Error> GstSession::errorFromMessage(GstMessage* message) const {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string element = GST_MESSAGE_SRC(message) ? GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) : "pipeline";
    std::string text = elementText(error);
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
    bool httpSource = contains(element, "souphttpsrc");
    if (httpSource && error && error->domain == GST_STREAM_ERROR) {
        if (httpStatus_ == 0) code = MediaErrorCode::CannotConnect;
        else if (httpStatus_ == 404 || httpStatus_ == 410) code = MediaErrorCode::ResourceNotFound;
        else if (httpStatus_ == 401 || httpStatus_ == 403) code = MediaErrorCode::AccessDenied;
        else if (httpStatus_ >= 500) code = MediaErrorCode::ServerFailed;
        if (httpStatus_ == 0) text = "cannot connect to the server" + (text.empty() ? "" : " (" + text + ")");
    }
    if (httpSource && httpStatus_ >= 400)
        text = "the server answered HTTP " + std::to_string(httpStatus_) + (text.empty() ? "" : " (" + text + ")");
    // A source that gives up on a redirect has followed as many as it follows: a loop.
    bool redirected = httpStatus_ >= 300 && httpStatus_ < 400;
    for (const char* reason : {"Moved Permanently", "Found", "Moved Temporarily", "See Other", "Temporary Redirect",
                               "Permanent Redirect"})
        redirected = redirected || text == reason;
    if (httpSource && redirected) {
        code = MediaErrorCode::ServerFailed;
        text = httpStatus_ >= 300 && httpStatus_ < 400
                   ? rt::format("a redirect loop (HTTP %d again and again)", httpStatus_)
                   : "a redirect loop (" + text + ", again and again)";
    }
    if (text.empty()) text = plainText(code);
    // The error names what failed to load (the source's own URL, a segment's say, else
    // the media's), never the engine's element: that is what a person can act on. An
    // HTTP source's detail only repeats the answer and the whole URL.
    std::string location = locationOf(GST_MESSAGE_SRC(message));
    auto result = makeMediaError(code, rt::format("\"%s\": %s", quotedURI(location.empty() ? url_ : location), text),
                                 httpSource ? std::string() : detailWithoutOrigin(details));
    if (error) g_error_free(error);
    g_free(debug);
    return result;
}

void GstSession::handleMessage(GstMessage* message) {
    if (gone() || !pipeline_) return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            // The demuxer giving up on a playlist that failed to come says only that it
            // failed: the guard knows which and why.
            if (auto [code, cause] = relay_->playlistFailure(); !cause.empty()) {
                failWith(playlistFailureError(code, cause));
                break;
            }
            // Nothing could make out what the item's URL answered: what it was says more
            // than the engine's words for the stream it could not type.
            if (auto unreadable = unreadableAnswer(GST_MESSAGE_SRC(message))) {
                failWith(unreadable);
                break;
            }
            auto error = errorFromMessage(message);
            // An HTTPS source that broke before any answer may have refused the server's
            // certificate: that is looked into before the failure is told.
            bool unanswered = error->code() == static_cast<long long>(MediaErrorCode::CannotConnect) && httpStatus_ == 0;
            failWith(error, unanswered ? GST_MESSAGE_SRC(message) : nullptr);
            break;
        }
        case GST_MESSAGE_EOS:
            reachedEnd();
            break;
        case GST_MESSAGE_STATE_CHANGED:
            stateChanged(message);
            break;
        case GST_MESSAGE_ASYNC_DONE:
            asyncDone();
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
            if (isDecodingBin(GST_MESSAGE_SRC(message))) commands_.completed(GstCommandQueue::Kind::Select);
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            queryDuration();
            if (auto item = item_.lock(); item && prerolled()) item->engineDuration(duration_);
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
            // A query and an event through the pipeline: its thread's work.
            callPipeline([](GstElement* pipeline) {
                if (pipeline) gst_bin_recalculate_latency(GST_BIN(pipeline));
            });
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

void GstSession::reachedEnd() {
    // A pipeline fed by several inputs may post its end more than once; the item
    // reaches its end once per play-through (a seek leaves the phase). An end that
    // comes while a seek waits or has not landed yet was reached before that seek
    // flushed: the seek's target, not the end, is where the item now is.
    if (phase_ != Phase::Prerolled) return;
    switch (commands_.seekPhase()) {
        case GstCommandQueue::SeekPhase::Waiting:
        case GstCommandQueue::SeekPhase::Sent: return;
        case GstCommandQueue::SeekPhase::None:
        case GstCommandQueue::SeekPhase::Landed: break;
    }
    {
        // An end the video sink has not had since its last flush may be one posted
        // before a seek's flush (the pipeline keeps its sinks' ends across a flushing
        // seek made while it plays). Said when it happens: a still picture at the end
        // after a seek, once seen under load and not reproduced since, would have it as
        // its cause.
        std::lock_guard lock(relay_->mutex);
        if (relay_->videoFlowing && !relay_->videoEndedSinceFlush)
            std::fprintf(stderr, "zid media: the pipeline ended before its video did since the last flush (picture at %.3f s)\n",
                         shownAt_.isNumeric() ? shownAt_.toSeconds() : -1.0);
    }
    if (!duration_.isNumeric()) queryDuration();
    // Segments that failed or came empty end the stream where its media stopped: short of
    // its duration, that is no end, and the segment is why.
    if (auto cause = endedShort()) return failWith(cause);
    phase_ = Phase::Ended;
    accountWatched();
    if (duration_.isNumeric()) lastPosition_ = duration_.toSeconds();
    applyState();
    if (auto item = item_.lock()) item->engineDidPlayToEnd();
}

rt::Ref<rt::Error> GstSession::endedShort() {
    auto noted = notedFailure();
    if (!noted || !duration_.isNumeric()) return nullptr;
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (!demuxer) return nullptr;
    double targetDuration = FetchGuard::of(demuxer, relay_)->targetDuration();
    gst_object_unref(demuxer);
    if (!(targetDuration > 0)) return nullptr;
    // Where the media stopped: the last picture, or the pipeline's own position past it
    // (audio that went on).
    double reached = shownAt_.isNumeric() ? shownAt_.toSeconds() : 0;
    gint64 ns = -1;
    if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0)
        reached = std::max(reached, static_cast<double>(ns) / GST_SECOND);
    if (duration_.toSeconds() - reached <= targetDuration) return nullptr;
    std::fprintf(stderr, "zid media: the stream ended at %.2f s of %.2f s, after a segment failed\n", reached,
                 duration_.toSeconds());
    return noted;
}

rt::Ref<rt::Error> GstSession::unreadableAnswer(GstObject* failed) const {
    // The source's own failure (a body that broke off) is the source's to tell.
    if (httpStatus_ < 200 || httpStatus_ >= 300 || locationOf(failed) == url_) return nullptr;
    std::string head;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) return nullptr;
        head = relay_->sourceHead;
    }
    // A playlist's name ends in .m3u8 (or .m3u), before any query.
    std::string path = url_.substr(0, url_.find_first_of("?#"));
    auto endsWith = [&](const char* suffix) {
        std::size_t n = std::strlen(suffix);
        return path.size() >= n && g_ascii_strcasecmp(path.c_str() + path.size() - n, suffix) == 0;
    };
    bool playlistNamed = endsWith(".m3u8") || endsWith(".m3u");
    if (relay_->sourceBytes.load() == 0)
        return makeMediaError(MediaErrorCode::ServerFailed,
                              playlistNamed ? rt::format("The playlist \"%s\" %s.", quotedURI(url_), whyNotAPlaylist(head))
                                            : rt::format("\"%s\" was an empty answer: there is nothing in it to play.",
                                                         quotedURI(url_)));
    if (head.rfind("\xef\xbb\xbf#EXTM3U", 0) == 0)
        return makeMediaError(MediaErrorCode::ServerFailed,
                              rt::format("The playlist \"%s\" %s.", quotedURI(url_), whyNotAPlaylist(head)));
    return nullptr;
}

void GstSession::stateChanged(GstMessage* message) {
    if (GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) {
        GstState oldState, newState;
        gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
        if (newState == GST_STATE_PLAYING) {
            hasPlayed_ = true;
            flushedSincePlaying_ = false;
            if (playingSince_ < 0) playingSince_ = nowSeconds();
        } else if (oldState == GST_STATE_PLAYING) {
            accountWatched();
        }
        if (newState == requested_ && commands_.running(GstCommandQueue::Kind::State)) stateReached();
        // A choice held back while the pipeline was still on its way to playing goes now.
        else if (newState == GST_STATE_PLAYING && streams_.choiceWaiting()) commands_.request(GstCommandQueue::Kind::Select);
        followSeek();
    }
}

void GstSession::asyncDone() {
    if (phase_ == Phase::Loading) {
        markPrerolled();
    } else {
        // Every stream's caps are known now.
        streams_.readAgain();
    }
    // The sink posts a picture before the pipeline posts this, but the two reach the
    // loop by different roads, and a busy loop may take this first: the picture goes to
    // the item first. Whose end of a preroll this is does not matter: a seek has landed
    // when its own first picture came, or settled after its own segment.
    if (commands_.runningSeek()) {
        deliverFrame();
        followSeek();
    }
    if (commands_.running(GstCommandQueue::Kind::State)) stateReached();
    applyState();
}

}  // namespace media::gstimpl
