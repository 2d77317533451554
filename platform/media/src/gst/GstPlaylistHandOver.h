#pragma once
// One read per playlist answer: a playlist that came through redirects is answered with
// the last redirect, to where the origin's answer came from, and the text fetched then is
// kept for the demuxer's read of that address (it follows the redirect at once), so that
// the playlist is not fetched twice. A text answers one read: a later read of the address
// (a live playlist's refresh) is fetched anew. Texts no read has taken are kept up to a
// bound in bytes.
//
// Called from the playlist service's thread (handOver, take) and whichever thread fails
// the item (drop): every call takes the one mutex.

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

class PlaylistHandOver {
public:
    /// Keeps at most `mostBytes` of texts no read has taken.
    explicit PlaylistHandOver(std::size_t mostBytes);

    /// What the next read of `url` is answered with; not kept when the texts kept would
    /// pass the bound (the read then fetches it).
    void handOver(const std::string& url, FetchedText fetched);
    /// The text handed over for `url`, taken: a second read does not find it.
    std::optional<FetchedText> take(const std::string& url);
    /// The item failed: the texts kept go.
    void drop();

private:
    const std::size_t mostBytes_;
    std::mutex mutex_;
    std::map<std::string, FetchedText> handedOver_;
    std::size_t handedOverBytes_ = 0;
};

}  // namespace media::gstimpl
