#pragma once
// What an adaptive demuxer reads and takes in, guarded, for the demuxer alone. Every
// request the demuxer's own HTTP session queues is seen by the request hook (on the
// download thread). That session is known as the demuxer's from when both were made
// (GstDemuxerSession), never from what a request names: no other session's request is ever
// this guard's. Of the demuxer's requests, the ones it makes for playlists (GETs, and
// only those with compressed answers allowed) and for the keys its playlists name are
// turned, whatever their spelling, to the process's playlist service
// (GstPlaylistServer), where this guard answers them; its segment requests go to their
// origin, counted.
//
// The guard ties its parts together and words what fails:
// - the transport (GstPlaylistTransport): the item's own HTTP session, through which each
//   playlist the demuxer reads is fetched when it asks, and checked;
// - one read per answer (GstPlaylistHandOver): a playlist that came through redirects is
//   answered with the redirect, and its text kept for the read of where it came from;
// - the segment meter (GstSegmentMeter): the bound on a segment's bytes, and which
//   segment requests run.
// An answer that is no playlist (an empty one, say), or not the kind it was when the
// demuxer first read it, never reaches the demuxer: it is a failed read. A playlist, key
// or segment that fails to come is named with what happened, in the item's error; the
// first refusal fails the item and ends its fetches.
//
// Called from the thread reading the master, the playlist service's thread, the demuxer's download thread, the parse
// bins' streaming threads and the engine's main thread; the guard's own state (keys, playlists read, whether it stopped
// or refused) is under its mutex, each part under its own.

#include <gio/gio.h>
#include <gst/gst.h>
#include <media/MediaErrors.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "GstPlaylistFetch.h"
#include "GstPlaylistHandOver.h"
#include "GstPlaylistServer.h"
#include "GstPlaylistTransport.h"
#include "GstSegmentMeter.h"

namespace media::gstimpl {

struct Relay;
struct PlaylistFacts;
using PlaylistAnswer = PlaylistServer::Answer;

/// Counts the segments entering a parse bin inside an adaptive demuxer, against the bound
/// of that demuxer's guard.
void guardSegmentsEntering(GstElement* parsebin, const std::shared_ptr<Relay>& relay);

class FetchGuard : public std::enable_shared_from_this<FetchGuard> {
public:
    /// The guard of an adaptive demuxer, made on first use and kept with the element.
    static std::shared_ptr<FetchGuard> of(GstElement* demuxer, const std::shared_ptr<Relay>& relay);

    /// What the playlists said (SegmentMeter::learn).
    void learn(std::uint64_t bandwidth, double targetDuration) { meter_->learn(bandwidth, targetDuration); }
    std::uint64_t segmentBound() const { return meter_->bound(); }
    double targetDuration() const { return meter_->targetDuration(); }
    /// The keys its playlists name (absolute URIs): the demuxer's requests for them are
    /// answered by this guard (answerKey).
    void learnKeys(const std::set<std::string>& keys);
    /// The initialization segments its playlists name (absolute URIs): one that comes
    /// empty fails the item at once.
    void learnMaps(const std::set<std::string>& maps);

    /// Counts the bytes of each segment entering a parse bin of the demuxer.
    void watchSegments(GstElement* parsebin);
    /// The request running longest for this guard, or "".
    std::string oldestRequest() const { return meter_->oldestRequest(); }

    /// Fails the item (the first refusal only) and aborts the demuxer's downloads at once,
    /// from whichever thread refuses: a download that never ends can hold the demuxer, and
    /// with it whatever waits on the demuxer, until it is aborted.
    void refuse(MediaErrorCode code, std::string description);

    /// The pipeline's HTTP source (PlaylistTransport::fetchLike).
    void fetchLike(GstElement* source) { transport_->fetchLike(source); }
    /// The demuxer read the playlist at `url` (a master when `master`) from the pipeline's
    /// source: a later read of it is a refresh.
    void noteRead(const std::string& url, bool master);
    /// The demuxer was given `text`, what `facts` says, for the playlist at `url`: a
    /// refresh of it whose window ends before this one's is stale, and while a live one
    /// plays it is watched that it keeps being refreshed.
    void notePassed(const std::string& url, const std::string& text, const PlaylistFacts& facts);
    /// `check` reads a fetched playlist; false when it refused the item.
    void onCheck(std::function<bool(const std::string& url, const FetchedText& fetched)> check);
    /// The demuxer's read of `url` (a playlist or a key), on the playlist service's thread:
    /// answers `done` there with the handed-over text, or the playlist fetched now and
    /// checked.
    void answerRead(const std::string& url, const FetchHeaders& headers, std::function<void(PlaylistAnswer)> done);

    /// For an item that ends: its guard claims no request any more, and its own fetches
    /// (those answering the demuxer's playlist and key reads) end at once. The
    /// demuxer's downloads end with the pipeline's teardown; its sockets are not shut
    /// under it, which the media framework's download threads do not survive reliably.
    static void stopDownloads(GstElement* demuxer);
    /// What the teardown of the demuxer's pipeline waits for first (on its own thread):
    /// until each playlist and key read of the demuxer's that the service has (or will
    /// have) answered has ended in the demuxer's downloader, at most `seconds`. The
    /// demuxer waits for such a read on its own thread, and a teardown that cancels it
    /// before the answer arrived leaves that thread with neither a body nor an error,
    /// which the demuxer does not survive (an assertion ends the process). A read of a
    /// refused playlist is answered as the item fails, so its teardown starts at the
    /// moment the answer is on its way.
    static std::function<void()> readsEnded(GstElement* demuxer, double seconds);

    /// The downloader's request hook: a request an HTTP session queued.
    static void onRequestQueued(GObject* session, GObject* message);

    /// Called on the download thread as a finished segment's failure (or its clearing) is
    /// about to be noted with the relay: a test holds the thread there to meet an item's
    /// teardown. Nothing in the library sets one.
    static void setSegmentNoteHook(std::function<void()> hook);

private:
    explicit FetchGuard(std::shared_ptr<Relay> relay);
    void stop();
    bool ended() const;
    /// Fails the item: a segment of `bytes` passed the bound.
    void refuseSegment(std::uint64_t bytes);
    /// A download of the demuxer's other than a playlist (a segment, a key) finished: one
    /// that failed or came empty is noted as why the demuxer may give up (or its stream
    /// ended early), one that came whole clears it. An empty initialization segment, or
    /// segments refused again and again, fail the item.
    void segmentFinished(const std::string& url, GObject* message);
    /// An answer that is no playlist, or not the kind `url` was when first read, is a
    /// failed fetch, with why.
    void judge(const std::string& url, FetchedText& fetched) const;
    /// Answers a read of `url` with what was fetched for it.
    void answerWith(const std::string& url, FetchedText fetched, const std::function<void(PlaylistAnswer)>& done);
    /// A fetch of `url` for a read failed: the item fails naming it and why, at once when
    /// the demuxer never had it, else when the demuxer gives up on it.
    void failedRead(const std::string& url, const FetchedText& fetched);
    /// Why a refresh of the media playlist at `url` is not the window its origin publishes
    /// ("was cut short: ...", "came back stale: ..."), or "" (a first read, a master's).
    std::string whyNotARefresh(const std::string& url, const std::string& text) const;
    /// Whether the demuxer's pipeline is to play: it plays or is on its way to, or it waits
    /// for what the demuxer holds (less than `seconds`), as in a pause to buffer.
    bool pipelineShouldPlay(double seconds) const;
    /// Fails the item for a playlist (the first refusal only), and its fetches end.
    void refusePlaylist(MediaErrorCode code, std::string description);
    /// On the main loop, now and then while a live playlist is refreshed: one that has not
    /// been passed to the demuxer for three target durations while the item should play
    /// (a demuxer that stopped asking, or whose reads fail one after the other) fails the
    /// item, naming the playlist and what its last read got, rather than leaving it still
    /// and unheard; a refresh that is slow to come is still awaited. False once the watch
    /// is over.
    bool checkRefreshed();
    bool isKey(const std::string& url) const;
    /// The demuxer's request for the key at `url`, on the playlist service's thread. The
    /// demuxer reads whatever a key request ends with as the key, and an answer without a
    /// body (an error status, a refused connection) as a key without bytes, which it
    /// passes on as a null buffer: a key that cannot be fetched is answered with
    /// placeholder bytes, and the item fails naming it once the demuxer has taken them
    /// (keyTaken).
    void answerKey(const std::string& url, const FetchHeaders& headers, std::function<void(PlaylistAnswer)> done);
    /// The demuxer's request for the key at `url` ended.
    void keyTaken(const std::string& url);
    /// A key request of the demuxer's, answered by the service: once it ends,
    /// the item fails if the key could not be fetched (keyTaken).
    void watchKey(GObject* message, const std::string& uri);
    /// A segment request of the demuxer's, left to go to its origin: its bytes and its end
    /// are counted (segmentFinished).
    void watchSegment(GObject* message, const std::string& uri);

    std::shared_ptr<Relay> relay_;
    const std::shared_ptr<SegmentMeter> meter_;
    const std::shared_ptr<PlaylistTransport> transport_;
    PlaylistHandOver handOver_;
    mutable std::mutex mutex_;
    std::set<std::string> keys_;
    std::set<std::string> maps_;
    /// Segments refused (401, 403) since the last that came whole.
    int refusedInARow_ = 0;
    /// Keys that could not be fetched, with why the item fails.
    std::map<std::string, std::pair<MediaErrorCode, std::string>> failedKeys_;
    bool stopped_ = false;
    /// The relay's noted failure is a segment's.
    bool segmentNoted_ = false;
    bool refused_ = false;
    /// Playlists the demuxer has read at least once, and whether each is a master.
    std::map<std::string, bool> read_;
    /// Where the window of each media playlist last passed to the demuxer ends (the number
    /// of its last segment).
    std::map<std::string, std::uint64_t> windowEnds_;
    /// The live watch: whether the playlist passed last is live, and the watch runs; when
    /// a live playlist was last passed (the run loop's clock), which, and the largest
    /// target duration of those passed; what the last failed refresh of one got (its
    /// cause, "" when the last read passed).
    bool live_ = false;
    bool liveWatched_ = false;
    double livePassedAt_ = 0;
    std::string liveURL_;
    double liveTarget_ = 0;
    std::pair<MediaErrorCode, std::string> liveFailure_{MediaErrorCode::Unknown, {}};
    /// The demuxer's playlist and key reads sent to the service and not ended yet.
    int readsUnderWay_ = 0;
    std::condition_variable readEnded_;
    std::function<bool(const std::string&, const FetchedText&)> check_;
};

}  // namespace media::gstimpl
