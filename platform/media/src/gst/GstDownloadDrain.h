#pragma once
// What an adaptive demuxer still downloads when its pipeline is to stop, and how that ends
// first. The demuxer (GStreamer 1.22) stops its scheduling loop and then its download
// loop, and only then cancels the downloads under way: their cancellations would complete
// on those two loops, which no longer run, so each download caught under way keeps its
// request, its HTTP session with its connection, and both loops' contexts for as long as
// the process lives (a socket and two event descriptors). A seek makes that likely: it
// starts the downloads of where it goes at once. So before the pipeline stops, the
// demuxer's downloads are ended while both its loops still run: its playlist and key reads
// are let finish (cancelling one before its answer came leaves the demuxer's thread with
// neither a body nor an error, which the demuxer does not survive); the connections of the
// rest (segments, to their origins) are shut on the download thread, so each ends with a
// network error the demuxer handles on its loops (a cancellation from outside would not
// do: the demuxer takes a download it did not cancel itself and that ended without an
// error or a body for a fault, and stops the process); what it asks for from then on goes
// nowhere and fails at once. The teardown goes on once every request of the demuxer's is
// gone and none has been asked for a moment, or its bound has passed.
//
// Called from the demuxer's download thread (queued, and the requests' ends), the teardown's
// thread (drain) and whichever thread drops a request's last reference.

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace media::gstimpl {

class DownloadDrain : public std::enable_shared_from_this<DownloadDrain> {
public:
    DownloadDrain() = default;
    ~DownloadDrain();
    DownloadDrain(const DownloadDrain&) = delete;
    DownloadDrain& operator=(const DownloadDrain&) = delete;

    /// The demuxer's session queued `message` (on the download thread); `read`: a playlist
    /// or key read, which the playlist service answers. Answers whether it was sent
    /// nowhere: the drain has begun, and it fails at once.
    bool queued(GObject* message, bool read);
    /// The demuxer's playlist and key reads not ended yet.
    int readsUnderWay() const;
    /// On the teardown's thread, before the pipeline stops: waits up to `readSeconds` for
    /// the reads under way to end, ends every other download, and waits up to
    /// `restSeconds` more for each request of the demuxer's to be gone.
    void drain(double readSeconds, double restSeconds);

private:
    /// A download's connection (to its origin; the reads' go to the playlist service).
    void connected(GSocketConnection* connection);
    static void shutDown(GSocketConnection* connection);
    /// Shuts the downloads' connections, on the download thread.
    void endOnDownloadThread();
    static gboolean endNow(gpointer data);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int reads_ = 0;
    /// Requests of the demuxer's not yet freed.
    int alive_ = 0;
    bool draining_ = false;
    /// When a request was last queued or gone.
    std::chrono::steady_clock::time_point lastActivity_;
    /// How long nothing is asked for nor ends before the demuxer is taken to have stopped
    /// asking: well past its 10-ms wait before a retry.
    static constexpr std::chrono::milliseconds kQuiet{100};
    /// The context the demuxer's downloads run on, held from its first request until the
    /// drain is over (never past it: it is the demuxer's to free).
    GMainContext* context_ = nullptr;
    std::vector<std::unique_ptr<GWeakRef>> connections_;
};

}  // namespace media::gstimpl
