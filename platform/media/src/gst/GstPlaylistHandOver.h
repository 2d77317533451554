#pragma once
// One read per playlist URL: what the master's check fetched is what the demuxer's first
// read of that playlist is answered with, so no playlist is fetched twice. The check says
// which playlists it is fetching (expect), hands each over as it comes (handOver), and
// says when it fetches nothing more (expectNoMore). A read of a playlist handed over takes
// its text; a read of one still expected waits, and is answered with the text once it is
// handed over, or with nothing once no more is expected (the reader then fetches it
// itself). Texts no read has taken are kept up to a bound in bytes: a master may name
// hundreds of long playlists the demuxer never reads.
//
// Called from the thread reading the master (expect), the check's fetching threads
// (handOver, expectNoMore), the playlist service's thread (read, waiting) and whichever
// thread fails the item (drop): every call takes the one mutex. A waiting read is
// answered outside it, on the thread that handed its playlist over or ended the check.

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

class PlaylistHandOver {
public:
    /// Answers a read that waited: with what the check fetched, or with nothing when the
    /// check ended without fetching it.
    using Answer = std::function<void(std::optional<FetchedText>)>;

    /// Keeps at most `mostBytes` of texts no read has taken.
    explicit PlaylistHandOver(std::size_t mostBytes);

    /// The check is fetching these playlists now.
    void expect(const std::vector<std::string>& urls);
    /// The check fetched `url`: the reads waiting for it are answered with it, else it is
    /// kept for the next read (unless the texts kept would pass the bound).
    void handOver(const std::string& url, FetchedText fetched);
    /// The check fetches nothing more: the reads still waiting are answered with nothing.
    void expectNoMore();

    /// What a read of `url` finds.
    struct Read {
        /// The text handed over for it, taken: a second read does not find it.
        std::optional<FetchedText> handedOver;
        /// It is expected: `answer` was kept and is called once it comes or the check ends.
        bool waits = false;
    };
    /// A read of `url`; `answer` is kept only when the read waits.
    Read read(const std::string& url, Answer answer);
    /// Whether a read of `url` is waiting.
    bool waiting(const std::string& url) const;
    /// The item failed: the texts kept go (the reads waiting are still answered).
    void drop();

private:
    struct WaitingRead {
        std::string url;
        Answer answer;
    };

    const std::size_t mostBytes_;
    mutable std::mutex mutex_;
    std::map<std::string, FetchedText> handedOver_;
    std::size_t handedOverBytes_ = 0;
    std::set<std::string> expected_;
    std::vector<WaitingRead> waiting_;
};

}  // namespace media::gstimpl
