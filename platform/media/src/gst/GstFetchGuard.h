#pragma once
// How much one pipeline's adaptive demuxer may take in. The demuxer downloads segments
// itself and hands a segment's bytes on as they come, with nothing that bounds a segment:
// one whose body never ends fills the process's memory at the speed of the network. So the
// bytes of each segment are counted where they enter the demuxer's parse bins, against a
// bound its playlists give (a few times what the variant's bandwidth carries in its target
// duration, under a hard ceiling), and a segment over it fails the item, naming the URL.
//
// The URL comes from the downloader's request hook: every request the demuxer's HTTP
// session queues is seen there (on the download thread). The session's first request is
// for a URI the guard's playlists named; from then on the session is the guard's, and so
// is every request it makes. The same hook turns the demuxer's request for a playlist
// (first fetch or refresh) to the loopback server that fetches and checks it for the
// demuxer (GstPlaylistServer).

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

#include <gio/gio.h>
#include <gst/gst.h>

#include <media/MediaErrors.h>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

struct Relay;

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
    /// where they said nothing) and the absolute URIs they name (to know the demuxer's
    /// requests as this guard's).
    void learn(std::uint64_t bandwidth, double targetDuration, const std::set<std::string>& uris);
    std::uint64_t segmentBound() const;

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
    /// A playlist fetched apart from the demuxer, as the pipeline's source would fetch it.
    FetchedText fetch(const std::string& url);
    /// Whenever the demuxer fetches `url` (a playlist), what it reads is `reread_`'s: the
    /// playlist fetched again and checked, served to it from this process's loopback
    /// (GstPlaylistServer).
    void rereadWhenFetched(const std::string& url);
    /// `reread` fetches a playlist again and answers its text when the check passes, else
    /// nothing (having refused the item when the check failed).
    void onReread(std::function<std::optional<std::string>(const std::string& url)> reread);
    std::optional<std::string> checkedText(const std::string& url);

    /// For an item that ends: its guard claims no request any more, and its own fetches
    /// end with the relay. The demuxer's downloads end with the pipeline's teardown (its
    /// playlists come from the loopback playlist server, whose fetches end with the relay);
    /// its sockets are not shut under it, which the media framework's download threads
    /// do not survive reliably.
    static void stopDownloads(GstElement* demuxer);

    /// The downloader's request hook: a request an HTTP session queued.
    static void onRequestQueued(GObject* session, GObject* message);

private:
    explicit FetchGuard(std::shared_ptr<Relay> relay) : relay_(std::move(relay)) {}
    /// Whether its playlists named `uri`: the first request of its demuxer's session.
    bool claims(const std::string& uri) const;
    /// Takes `session` (whose request this guard claimed) as the demuxer's: every request
    /// it makes is this guard's.
    void adopt(GObject* session);
    bool hasSession() const;
    void stop();

    std::shared_ptr<Relay> relay_;
    mutable std::mutex mutex_;
    std::uint64_t bandwidth_ = 0;
    double targetDuration_ = 0;
    std::set<std::string> uris_;
    /// Requests running, by message, with the order they were queued in.
    std::map<const void*, std::pair<std::uint64_t, std::string>> running_;
    std::uint64_t queued_ = 0;
    /// The request that finished last: a segment's bytes may pass its bound after its
    /// download ended.
    std::string lastFinished_;
    bool adopted_ = false;
    bool stopped_ = false;
    bool refused_ = false;
    GstElement* like_ = nullptr;
    std::set<std::string> watched_;
    std::function<std::optional<std::string>(const std::string&)> reread_;
};

}  // namespace media::gstimpl
