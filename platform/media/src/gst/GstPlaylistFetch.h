#pragma once
// Fetching a playlist apart from the demuxer, for what the demuxer reads of it
// (GstPlaylistServer). A fetch runs on the playlist service's thread through an HTTP
// session of the item's own, made like the pipeline's source (same trust, same user
// agent), which keeps one connection to each origin open from one fetch to the next and
// accepts compressed answers, as the demuxer's own session does; it is bounded in
// bytes and in time, and it follows redirects, telling where the answer came from. Its
// time is bounded as the demuxer bounds its own reads, by how long nothing comes (an
// origin that answers slowly but keeps sending is read to the end), and in all, by far
// more than any playlist that keeps coming needs.

#include <gio/gio.h>
#include <gst/gst.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace media::gstimpl {

struct FetchedText {
    enum class Outcome { Fetched, TooLong, Failed };
    Outcome outcome = Outcome::Failed;
    std::string text;
    /// The URL the answer came from once every redirect was followed ("" when none came).
    std::string finalURL;
    /// The status of the last redirect followed (301, 302, 303, 307, 308), 0 for none.
    int redirectStatus = 0;
    /// The origin's HTTP status, 0 when it never answered.
    int status = 0;
    /// What went wrong, for a person (Failed): "was answered with HTTP 404 (Not Found)",
    /// "did not answer within 9.5 seconds", "came too slowly: 96 KiB in 120 s", ...; ""
    /// when the fetch was stopped.
    std::string cause;
};

/// Request headers to send with a fetch (name, value).
using FetchHeaders = std::vector<std::pair<std::string, std::string>>;

/// An HTTP session for one item's playlist fetches, made on the calling thread (the
/// service's: it is used there only), like `like` (an HTTP source, or null); null when the
/// HTTP library is not in the process.
GObject* newPlaylistSession(GstElement* like);

/// How long a fetch may take: at most `idleSeconds` with nothing coming (from the
/// request to the answer's head, and between two reads of its body), at most
/// `totalSeconds` in all.
struct FetchTimes {
    double idleSeconds = 0;
    double totalSeconds = 0;
};

/// Fetches `url` through `session` on the calling thread's context, up to `limit` bytes
/// (TooLong as soon as there are more), within `times`; `done` runs on that context.
/// Cancelling `stop` ends it at once, without a cause.
void fetchPlaylist(GObject* session, const std::string& url, const FetchHeaders& headers, std::size_t limit,
                   FetchTimes times, GCancellable* stop, std::function<void(FetchedText)> done);

}  // namespace media::gstimpl
