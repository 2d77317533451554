#pragma once
// One playbin3 pipeline and what it has reported: the engine's unit of work for an asset
// and then for the item that plays it. Main thread only, except for Relay, which the
// streaming threads share.

#include <gio/gio.h>
#include <gst/gst.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <fnd/RunLoop.h>
#include <media/AccessLog.h>
#include <media/GstEngine.h>
#include <media/MediaErrors.h>
#include <media/PlayerItem.h>

#include "GstCommandQueue.h"
#include "GstPipelineThread.h"
#include "GstProgressWatch.h"
#include "GstStreams.h"

namespace media::gstimpl {

class GstSession;
struct Relay;

/// The run loop's clock, in seconds.
inline double nowSeconds() { return fnd::RunLoop::main()->clock().now(); }

inline Time fromClockTime(gint64 ns) {
    if (ns < 0) return Time::invalid();
    return Time{ns / 1000, 1'000'000, Time::Valid};
}

/// The relay as callback data handed to GStreamer (a shared reference of its own), and
/// its end (GStreamer's destroy notify).
gpointer newRelayHandle(const std::shared_ptr<Relay>& relay);
void deleteRelayHandle(gpointer data);
/// The relay for the length of a callback given its handle: taken over from the thread
/// that handed it to GStreamer, and handed on to whichever uses or frees it next.
class RelayCall {
public:
    explicit RelayCall(gpointer handle);
    ~RelayCall();
    RelayCall(const RelayCall&) = delete;
    RelayCall& operator=(const RelayCall&) = delete;
    Relay* operator->() const { return relay_; }
    Relay& operator*() const { return *relay_; }

private:
    gpointer handle_;
    Relay* relay_;
};
/// The error of an item that failed on a playlist: `description` names it and what
/// happened, in the error and in its underlying error.
rt::Ref<rt::Error> playlistFailureError(MediaErrorCode code, const std::string& description);
/// The bus's synchronous handler: posts what the main loop acts on through the relay.
GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer relayHandle);
/// The URL a source element reads (its "location"), or "" for an element without one.
std::string locationOf(GstObject* element);
/// The https URL an HTTP source element reads, or "" for anything else.
std::string httpsLocationOf(GstObject* element);
/// Counts the bytes the item's source and the demuxer's segments carry, guards the
/// demuxer's playlists and segments, and knows its HTTP session, as the pipeline makes
/// each element.
void watchElementsAdded(GstElement* pipeline, const std::shared_ptr<Relay>& relay);
/// Sets the sinks' formats and hands their pictures and cues to the relay.
void connectOutputs(GstElement* videoSink, GstElement* textSink, const std::shared_ptr<Relay>& relay);

/// What the streaming threads may reach: a weak way back to the session, the picture
/// mailbox and the cue queue. Never owns the pipeline, so no streaming thread can be the
/// one that destroys it.
struct Relay {
    std::weak_ptr<GstSession> session;
    std::atomic<bool> closed{false};
    std::mutex mutex;
    rt::Ref<VideoFrame> latestFrame;
    bool framePosted = false;
    /// An eventfd the main loop watches, written when a picture enters the empty mailbox.
    /// A descriptor rather than a post: the loop looks for further posts for a moment
    /// after a turn that ran one (work handed out often reports back at once), which for
    /// 25 pictures a second is CPU spent for nothing. Closed with the relay, after the
    /// last streaming thread that could write it has let go.
    int frameSignal = -1;
    /// Where pictures go on the streaming thread itself, when the item takes them there,
    /// and whether they may (only while nothing but the picture changes: prerolled, no
    /// seek under way, the mailbox empty, the size below). The outlet runs under the
    /// mutex, so whoever turns this off under it finds no picture on its way.
    PlayerItem::FrameOutlet outlet;
    bool direct = false;
    int directWidth = 0, directHeight = 0;
    /// The time of the newest picture that went by the outlet, not yet seen by the loop.
    Time directShownAt = Time::invalid();
    /// Memory the item lends for pictures to be converted into, offered to the element
    /// before the video sink.
    std::shared_ptr<PlayerItem::FrameMemory> memory;
    /// Bytes of media the demuxer has downloaded.
    std::atomic<std::uint64_t> bytes{0};
    /// What the pipeline's own source has read of the item's URL: its bytes, and the first
    /// of them (under the mutex), for an answer nothing in the pipeline could make out.
    std::atomic<std::uint64_t> sourceBytes{0};
    std::string sourceHead;
    /// Requests the demuxer made: playlists (first fetches and refreshes) and segments.
    std::atomic<std::uint64_t> mediaRequests{0};
    /// The adaptive demuxer, once made (under the mutex).
    GstElement* demuxer = nullptr;
    /// The seek whose first picture is looked for (its sequence number), the sequence
    /// numbers of the last flush and the last segment the video sink received, the
    /// awaited seek once the video ended after it without a picture, and the time of the
    /// awaited seek's first picture once it came: where that seek landed, whatever the
    /// loop hears first.
    guint32 awaitedSeek = GST_SEQNUM_INVALID;
    guint32 videoFlush = GST_SEQNUM_INVALID;
    guint32 videoSegment = GST_SEQNUM_INVALID;
    guint32 videoEnded = GST_SEQNUM_INVALID;
    /// Pictures have reached the video sink, and whether its stream ended since its last
    /// flush (what the loop says of an end it takes for the item's).
    bool videoFlowing = false;
    bool videoEndedSinceFlush = false;
    Time landing = Time::invalid();
    /// The video sink has had the awaited seek's flush or segment: what it gets from now
    /// on comes from that seek (under the mutex).
    bool afterAwaitedSeek() const {
        return awaitedSeek != GST_SEQNUM_INVALID && (videoFlush == awaitedSeek || videoSegment == awaitedSeek);
    }

    ~Relay();

    void postMessage(GstMessage* message);
    void postFrame(rt::Ref<VideoFrame> frame);
    void postCue(LegibleCue cue);
    /// A guard of what the pipeline fetches refused something (a playlist naming a URI of
    /// another scheme, one too long, a segment too large): the item fails with this.
    void postRefusal(MediaErrorCode code, std::string description);
    /// A playlist the demuxer asked for failed to come (its URL and what happened): if the
    /// demuxer then fails, the item's error says this rather than the demuxer's words.
    void notePlaylistFailure(MediaErrorCode code, std::string description);
    /// A playlist failed to come and the item fails for it at once.
    void postPlaylistFailure(MediaErrorCode code, std::string description);
    /// The playlist failure noted last, if any (description "" when none).
    std::pair<MediaErrorCode, std::string> playlistFailure();
    /// A refresh of the playlist at `url` failed (`description` says how): an event of the
    /// item's error log, the item playing on.
    void postErrorLogEvent(std::string url, MediaErrorCode code, std::string description);

private:
    std::pair<MediaErrorCode, std::string> playlistFailure_{MediaErrorCode::Unknown, {}};
};

class GstSession : public std::enable_shared_from_this<GstSession> {
public:
    GstSession(std::string url, GstEngine::Options options);
    ~GstSession();
    GstSession(const GstSession&) = delete;
    GstSession& operator=(const GstSession&) = delete;

    /// Builds the pipeline and starts prerolling; answers an error when it cannot.
    rt::Ref<rt::Error> start();
    /// Stops the pipeline for good.
    void shutdown();

    /// Runs once, on the main loop, when the pipeline has prerolled (or failed to).
    void setLoadCompletion(Engine::AssetCompletion done) { loadDone_ = std::move(done); }
    /// Reports from now on go to the item.
    void attach(const rt::Ref<PlayerItem>& item);

    void setRate(float rate);
    void seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done);
    /// Where the picture is (the pipeline's position for media without pictures): a
    /// finished seek reads where it landed.
    Time currentTime();
    void setMuted(bool muted);
    void setVolume(float volume);
    void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option);
    void refreshAccessLog(AccessLogEvent& event);

    void handleMessage(GstMessage* message);
    void reachedEnd();                          // the pipeline's end-of-stream
    void stateChanged(GstMessage* message);     // a state change; only the pipeline's counts
    void asyncDone();                           // a preroll, a seek's or a state change's, is done
    /// Hands the newest picture of the mailbox to the item.
    void deliverFrame();
    /// Lets the next pictures of `frame`'s size go by the item's outlet when nothing
    /// else is under way (main loop).
    void openDirectPath(const VideoFrame& frame);
    /// Takes the time of the pictures that went by the outlet (main loop; the relay's
    /// mutex held); `close` shuts the outlet for the pictures to come.
    void absorbDirectPictures(bool close);
    void deliverCue(const LegibleCue& cue);
    /// Fails the item with what a guard of the pipeline's fetches refused.
    void refuse(rt::Ref<rt::Error> error);
    /// Adds an event to the item's error log: `url` failed as `description` says.
    void logError(const std::string& url, MediaErrorCode code, const std::string& description);

private:
    /// Where the session is in its life. Playing, pausing and buffering are the
    /// pipeline's state and the command queue's business, not phases.
    enum class Phase {
        Loading,    // prerolling for the first time
        Prerolled,  // loaded: the item may play it
        Ended,      // prerolled and played to the end (a seek leaves it)
        Failed,     // failed; the pipeline is gone
        Closed,     // shut down; the pipeline is gone
    };
    bool prerolled() const;
    bool gone() const;

    /// Stops the pipeline and reports the failure. When `brokenSource` is an https source
    /// that broke before any answer, only once a handshake of the session's own has told
    /// whether (and why) the server's certificate was refused.
    void failWith(rt::Ref<rt::Error> error, GstObject* brokenSource = nullptr);
    /// Hands the pipeline to a teardown thread; the session never touches it again.
    void releasePipeline();
    void reportFailure(const rt::Ref<rt::Error>& error);
    /// The failure a guard noted last (a playlist or segment that failed to come), as the
    /// item's error; nullptr when none is noted.
    rt::Ref<rt::Error> notedFailure();
    /// An end that comes more than a target duration short of the duration, after a
    /// segment failed or came empty: the segment's failure, else nullptr.
    rt::Ref<rt::Error> endedShort();
    /// The item's URL answered with nothing a demuxer or decoder could take (nothing at
    /// all, a playlist behind a byte-order mark), and `failed` could not make it out: what
    /// the answer was, else nullptr.
    rt::Ref<rt::Error> unreadableAnswer(GstObject* failed) const;
    /// Fails the attached item unless it is told ready (or failed) within the load's bound.
    void boundWaitForReady();
    void reportAfterCheckingTls(rt::Ref<rt::Error> error, const std::string& url);
    void finishLoad(rt::Ref<rt::Error> error);
    /// Where a pipeline that has not prerolled stands: its state, its video sink's, the
    /// bytes of segments fetched, the streams the demuxer exposed.
    std::string describePreroll();
    void markPrerolled();
    void onPrerolled();
    void applyState();
    void applyBuffering(int percent);
    void watchBuffering();
    /// Watches that playback moves while the pipeline should play (GstProgressWatch):
    /// neither the picture nor the position moving for its bound with nothing to explain
    /// it (no seek, no buffering, no end) stalls the item, with its cause in the log, so
    /// that nothing plays on frozen unheard.
    void watchProgress();
    void checkProgress();
    /// The pipeline's position (the running clock, held to what its sinks have played),
    /// or NaN when it tells none.
    double pipelinePosition() const;
    /// The pipeline plays with nothing under way: its position is where playback is.
    bool playingOn() const;
    bool bufferedEnough();
    /// Hands `work` to the pipeline's thread; once it is back, `then` (when given) runs on
    /// the loop unless the session is gone, and the command queue hears of it: a command
    /// held for the thread may end, a waiting one start.
    void callPipeline(GstPipelineThread::Work work, std::function<void(GstSession&)> then = nullptr);
    bool startCommand(GstCommandQueue::Kind kind);
    bool startSeek();
    /// Sends the running seek to the pipeline (again, when it was refused).
    void sendSeek();
    /// The pipeline's thread has sent the seek numbered `seqnum` (or had it refused).
    void seekSent(std::uint32_t seqnum, double target, bool sent);
    bool startStateChange();
    bool startSelection();
    /// The stream is ended, or its picture within a few seconds of the end.
    bool nearTheEnd();
    /// The pipeline's thread did not come back from a command's call within the
    /// command's bounds: it is stuck there, and the pipeline is given up with that cause.
    void pipelineStuck(GstCommandQueue::Kind kind);
    /// The pipeline is in the state last asked for.
    void stateReached();
    /// Looks whether the running seek landed (its first picture, or for a stream
    /// without pictures its preroll) and whether the pipeline has settled after it.
    void followSeek();
    /// No state change is under way and the pipeline is in the state last asked for.
    bool settled();
    /// PLAYING when the rate asks for it and nothing holds playback back, else PAUSED.
    GstState wantedState() const;
    void queryDuration();
    void readCollection(GstStreamCollection* collection, bool quiet);
    void readSelected(GstMessage* message);
    void accountWatched();
    AssetInfo info() const;
    rt::Ref<rt::Error> errorFromMessage(GstMessage* message) const;
    // (reads httpStatus_)

    std::string url_;
    GstEngine::Options options_;
    GstElement* pipeline_ = nullptr;
    /// Makes every call into the pipeline that may block, in order (GstPipelineThread.h).
    std::unique_ptr<GstPipelineThread> pipelineThread_;
    GstElement* videoSink_ = nullptr;
    GstElement* textSink_ = nullptr;
    /// The trust the sources check certificates with (nullptr: the system's); lives as
    /// long as the process.
    GTlsDatabase* trust_ = nullptr;
    std::shared_ptr<Relay> relay_;
    Engine::AssetCompletion loadDone_;
    /// The load's bound, and then the bound of an attached item's wait to be told ready.
    rt::Ref<fnd::Timer> loadTimer_, readyTimer_, bufferingTimer_, progressTimer_;
    GstProgressWatch progress_;
    /// What the session failed with, once reported: an item attached after the failure
    /// (its asset loaded a moment before) is told it too.
    rt::Ref<rt::Error> failure_;
    /// The attached item has been told it is ready to play.
    bool toldReady_ = false;
    fnd::RunLoop::SourceId frameSource_ = 0;
    rt::Weak<PlayerItem> item_;
    bool attached_ = false;

    Phase phase_ = Phase::Loading;
    bool wantPlaying_ = false, buffering_ = false, hasPlayed_ = false;
    /// Where the last seek landed, in seconds (NaN: none yet): the pipeline refills from
    /// there, and a wait for data before it has played a second past it is the seek's.
    double landedAt_ = std::nan("");
    /// A flushing seek was sent and the pipeline has not played since: its running time
    /// starts again from 0 (see startStateChange()).
    bool flushedSincePlaying_ = false;
    int bufferPercent_ = 100;
    GstState requested_ = GST_STATE_PAUSED;
    Time duration_ = Time::invalid();
    bool live_ = false;
    /// The pipeline's last position, for media without pictures.
    double lastPosition_ = 0;
    /// The time of the newest picture handed to the item (invalid before the first, and
    /// after a seek that landed without one).
    Time shownAt_ = Time::invalid();
    /// Where the pipeline's position last was while it ran ahead of a picture that stood
    /// (a still scene, a video that ended before its audio): the position reads no less
    /// until a seek. Negative when it has not.
    double clockLed_ = -1;
    /// The picture's time as currentTime() last saw it, and since when (the loop's clock).
    double pictureSeen_ = -1, pictureSeenAt_ = 0;

    /// Seeks, stream choices and state changes, one at a time; the seeks' record.
    GstCommandQueue commands_{[this](GstCommandQueue::Kind kind) { return startCommand(kind); },
                              [this](GstCommandQueue::Kind) { return pipelineThread_ && pipelineThread_->busy(); },
                              [this](GstCommandQueue::Kind kind) { pipelineStuck(kind); }};

    /// The collection's tracks and groups, and the choices made in them.
    GstStreams streams_;
    Size presentationSize_;

    // Statistics.
    rt::Ref<AccessLogEvent> stats_ = rt::make<AccessLogEvent>();
    double createdAt_ = 0;
    double playingSince_ = -1;
    long long dropped_ = 0;
    int httpStatus_ = 0;
};

}  // namespace media::gstimpl
