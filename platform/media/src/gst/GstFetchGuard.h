#pragma once
// How much one pipeline's adaptive demuxer may take in. The demuxer downloads segments
// itself and hands a segment's bytes on as they come, with nothing that bounds a segment:
// one whose body never ends fills the process's memory at the speed of the network. So the
// bytes of each segment are counted where they enter the demuxer's parse bins, against a
// bound its playlists give (a few times what the variant's bandwidth carries in its target
// duration, under a hard ceiling), and a segment over it fails the item, naming the URL.
//
// The URL comes from the downloader's request hook: every request the demuxer's own HTTP
// session queues is seen there (on the download thread). That session is known as the
// demuxer's from when both were made (GstDemuxerSession), never from what a request
// names: no other session's request is ever this guard's. Of the demuxer's requests, the
// ones it makes for playlists (GETs, and only those with compressed answers allowed) are
// turned, whatever their spelling, to the process's playlist service (GstPlaylistServer),
// where this guard answers them: with the text its check already read, or with the
// playlist fetched then and checked. An answer that is no playlist (an empty one, say)
// never reaches the demuxer: it is a failed read. A playlist that fails to come is named
// with what happened, in the item's error.

#include <gio/gio.h>
#include <gst/gst.h>
#include <media/MediaErrors.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "GstPlaylistFetch.h"
#include "GstPlaylistServer.h"

namespace media::gstimpl {

struct Relay;
using PlaylistAnswer = PlaylistServer::Answer;

/// The longest playlist a stream needs; a longer one is refused as soon as it is that long.
inline constexpr std::size_t kLongestPlaylist = 4u << 20;
/// No segment is larger than this, whatever its playlists say.
inline constexpr std::uint64_t kLargestSegment = 32ull << 20;
/// Nor is a segment's bound below this: bandwidths in playlists are often too low.
inline constexpr std::uint64_t kSmallestSegmentBound = 4ull << 20;
/// Bytes one segment may have: four times what `bandwidth` (bits per second) carries in
/// `targetDuration` seconds, within [kSmallestSegmentBound, kLargestSegment]; the ceiling
/// when either is unknown (0).
std::uint64_t segmentBound(std::uint64_t bandwidth, double targetDuration);

/// Counts the segments entering a parse bin inside an adaptive demuxer, against the bound
/// of that demuxer's guard.
void guardSegmentsEntering(GstElement* parsebin, const std::shared_ptr<Relay>& relay);

class FetchGuard : public std::enable_shared_from_this<FetchGuard> {
public:
    /// The guard of an adaptive demuxer, made on first use and kept with the element.
    static std::shared_ptr<FetchGuard> of(GstElement* demuxer, const std::shared_ptr<Relay>& relay);
    ~FetchGuard();

    /// What the playlists said: the largest variant bandwidth and target duration (0
    /// where they said nothing).
    void learn(std::uint64_t bandwidth, double targetDuration);
    std::uint64_t segmentBound() const;
    /// The keys its playlists name (absolute URIs): the demuxer's requests for them are
    /// answered by this guard (answerKey).
    void learnKeys(const std::set<std::string>& keys);

    /// Counts the bytes of each segment entering a parse bin of the demuxer.
    void watchSegments(GstElement* parsebin);

    /// The request running longest for this guard, or "".
    std::string oldestRequest() const;

    /// Requests queued for this guard so far.
    std::uint64_t requestsQueued() const;

    /// Fails the item: a segment of `bytes` passed the bound.
    void refuseSegment(std::uint64_t bytes);
    /// Fails the item (the first refusal only) and aborts the demuxer's downloads at once,
    /// from whichever thread refuses: a download that never ends can hold the demuxer, and
    /// with it whatever waits on the demuxer, until it is aborted.
    void refuse(MediaErrorCode code, std::string description);

    /// The pipeline's HTTP source (a reference, taken), whose trust and user agent the
    /// guard's own fetches copy.
    void fetchLike(GstElement* source);
    /// The URL the master (or the media playlist the item plays) was asked at or came
    /// from: the guard's fetches name it as their referrer, as the demuxer's requests do.
    void learnManifest(const std::string& url);
    /// The demuxer read the playlist at `url` (a master when `master`) from the pipeline's
    /// source: a later read of it is a refresh.
    void noteRead(const std::string& url, bool master);
    /// A playlist fetched apart from the demuxer (for its check), waited for; never on
    /// the playlist service's thread.
    FetchedText fetch(const std::string& url);
    /// Playlists a check is fetching now: a read of one waits for that fetch (and is
    /// answered with it) rather than fetching it again.
    void expect(const std::vector<std::string>& urls);
    /// What the demuxer's next read of `url` is answered with: what a check fetched (and
    /// passed) before, so that the playlist is not fetched twice. A read waiting for it
    /// is answered now.
    void handOver(const std::string& url, FetchedText fetched);
    /// The check fetches nothing more: reads still waiting on it are answered as if
    /// it had never been expected (fetched then, or refused once the item failed).
    void expectNoMore();
    /// `check` reads a fetched playlist; false when it refused the item.
    void onCheck(std::function<bool(const std::string& url, const FetchedText& fetched)> check);
    /// The demuxer's read of `url` (a playlist), on the playlist service's thread: answers
    /// `done` there with the handed-over text, or the playlist fetched now and checked.
    void answerRead(const std::string& url, const FetchHeaders& headers, std::function<void(PlaylistAnswer)> done);

    /// For an item that ends: its guard claims no request any more, and its own fetches
    /// (the check's, and those answering the demuxer's playlist reads) end at once. The
    /// demuxer's downloads end with the pipeline's teardown; its sockets are not shut
    /// under it, which the media framework's download threads do not survive reliably.
    static void stopDownloads(GstElement* demuxer);

    /// The downloader's request hook: a request an HTTP session queued.
    static void onRequestQueued(GObject* session, GObject* message);

private:
    explicit FetchGuard(std::shared_ptr<Relay> relay);
    void stop();
    /// A download of the demuxer's other than a playlist (a segment, a key) finished: one
    /// that failed is noted as why the demuxer may give up, one that came whole clears it.
    void segmentFinished(const std::string& url, GObject* message);
    /// The guard's HTTP session, made on first use (on the service's thread only).
    GObject* session();
    /// An answer that is no playlist, or not the kind `url` was when first read, is a
    /// failed fetch, with why.
    void judge(const std::string& url, FetchedText& fetched) const;
    /// Answers a read of `url` with what was fetched for it.
    void answerWith(const std::string& url, FetchedText fetched, const std::function<void(PlaylistAnswer)>& done);
    /// A read of `url` waits for the check's fetch of it: if it still waits shortly before
    /// that fetch's time is up, that it did not answer is noted as why the demuxer fails.
    void noteIfStillWaiting(const std::string& url);
    /// A fetch of `url` for a read failed: the item fails naming it and why, at once when
    /// the demuxer never had it, else when the demuxer gives up on it.
    void failedRead(const std::string& url, const FetchedText& fetched);
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
    mutable std::mutex mutex_;
    std::uint64_t bandwidth_ = 0;
    double targetDuration_ = 0;
    std::set<std::string> manifests_;
    std::set<std::string> keys_;
    /// Keys that could not be fetched, with why the item fails.
    std::map<std::string, std::pair<MediaErrorCode, std::string>> failedKeys_;
    /// Requests running, by message, with the order they were queued in.
    std::map<const void*, std::pair<std::uint64_t, std::string>> running_;
    std::uint64_t queued_ = 0;
    /// The request that finished last: a segment's bytes may pass its bound after its
    /// download ended.
    std::string lastFinished_;
    bool stopped_ = false;
    /// The relay's noted failure is a segment's.
    bool segmentNoted_ = false;
    bool refused_ = false;
    GstElement* like_ = nullptr;
    /// Cancelled when the item ends or fails: every fetch of the guard's ends with it.
    GCancellable* stop_ = nullptr;
    GObject* session_ = nullptr;
    std::map<std::string, FetchedText> handedOver_;
    /// A read waiting for the check's fetch of its playlist.
    struct WaitingRead {
        std::string url;
        FetchHeaders headers;
        std::function<void(PlaylistAnswer)> done;
    };
    std::set<std::string> expected_;
    std::vector<WaitingRead> waiting_;
    std::size_t handedOverBytes_ = 0;
    /// Playlists the demuxer has read at least once, and whether each is a master.
    std::map<std::string, bool> read_;
    std::function<bool(const std::string&, const FetchedText&)> check_;
};

}  // namespace media::gstimpl
