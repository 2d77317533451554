#pragma once
// The guard's own HTTP: what an item fetches apart from its demuxer (the demuxer's
// playlist reads and key requests the guard answers) goes through one HTTP session of the
// item's, made like the pipeline's source (its trust and user agent), with the demuxer's
// request headers. The session keeps one connection to each origin, so an item costs its
// origin one connection more than bare GStreamer (whose demuxer reads its playlists on
// its own connections): the demuxer reads its playlists one after the other anyway. Every
// fetch is bounded in time (how long nothing comes, and in all), and all of them end at
// once when the item ends or fails (stop).
//
// The session is made and used on the playlist service's thread only, where every fetch
// runs. What the session is made like is set from the thread reading the master, and stop
// comes from whichever thread ends the item: those take the mutex (or need none). Nothing
// is called with the mutex held.

#include <gio/gio.h>
#include <gst/gst.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

/// The longest playlist a stream needs; a longer one is refused as soon as it is that long.
inline constexpr std::size_t kLongestPlaylist = 4u << 20;
/// Seconds a fetch of the guard's may go with nothing coming, as the demuxer's HTTP session
/// bounds its own reads (10 s): an origin that holds a playlist 9 s, as some proxies do,
/// is read as the demuxer would read it, and one silent longer is named a little before
/// the demuxer would give up. The demuxer itself never waits that long meanwhile: the
/// playlist service keeps its connection busy until the answer is there
/// (GstPlaylistServer).
inline constexpr double kPlaylistIdleSeconds = 9.5;
/// Seconds a fetch of the guard's may take in all while its text keeps coming: the longest
/// playlist (kLongestPlaylist) at about 280 kbit/s, what a poor 3G link carries, so that
/// a long DVR window on a slow mobile link still comes, and an origin that trickles
/// without end is named.
inline constexpr double kPlaylistTotalSeconds = 120;

class PlaylistTransport : public std::enable_shared_from_this<PlaylistTransport> {
public:
    PlaylistTransport();
    ~PlaylistTransport();
    PlaylistTransport(const PlaylistTransport&) = delete;
    PlaylistTransport& operator=(const PlaylistTransport&) = delete;

    /// The pipeline's HTTP source (a reference, taken), whose trust and user agent the
    /// session copies; the first one given counts.
    void fetchLike(GstElement* source);
    /// Fetches `url` with the demuxer's `headers`, up to `limit` bytes; on the playlist
    /// service's thread, where `done` runs.
    void fetch(const std::string& url, const FetchHeaders& headers, std::size_t limit,
               std::function<void(FetchedText)> done);

    /// Every fetch ends now, without a cause, and any begun later ends at once.
    void stop();

private:
    /// The session, made on first use (on the service's thread).
    GObject* session();

    std::mutex mutex_;
    GstElement* like_ = nullptr;
    GCancellable* stop_ = nullptr;
    /// The service thread's alone (and the destructor's).
    GObject* session_ = nullptr;
};

}  // namespace media::gstimpl
