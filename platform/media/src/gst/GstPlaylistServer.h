#pragma once
// What the demuxer reads of a playlist it fetches itself is the text that was checked: its
// request for a playlist is turned, as it is queued (GstFetchGuard's request hook), to a
// loopback address of this process, where the playlist is fetched from its own URL, read
// by the same check, and served only when the check passes. A second fetch by the demuxer,
// which an origin could answer differently, never happens; and what the demuxer takes in
// of a playlist is bounded as the check's own fetch is.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>

namespace media::gstimpl {

class FetchGuard;

class PlaylistServer {
public:
    /// The process's server, listening on 127.0.0.1 from its first use; null when it could
    /// not listen.
    static PlaylistServer* shared();

    /// The loopback URL whose every answer is `url`'s playlist as `guard` checks it then.
    std::string alias(const std::shared_ptr<FetchGuard>& guard, const std::string& url);
    /// Whether `uri` is one of this server's.
    bool serves(const std::string& uri) const;

private:
    explicit PlaylistServer(int listener, std::string base)
        : listener_(listener), base_(std::move(base)), random_(std::random_device{}()) {}
    void acceptLoop();
    void answer(int connection);

    struct Entry {
        std::weak_ptr<FetchGuard> guard;
        std::string url;
    };
    int listener_;
    std::string base_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::map<std::pair<const FetchGuard*, std::string>, std::string> names_;
    std::mt19937_64 random_;
    std::atomic<int> answering_{0};
};

}  // namespace media::gstimpl
