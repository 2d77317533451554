#pragma once
// Fetching a playlist apart from the demuxer, so that what the demuxer would fetch for
// itself (the media playlists a master playlist names) is read and checked first. The
// fetch runs on the calling thread through an HTTP source made like the pipeline's own
// (same trust, same user agent), bounded in bytes and time.

#include <atomic>
#include <cstddef>
#include <string>

#include <gst/gst.h>

namespace media::gstimpl {

struct FetchedText {
    enum class Outcome { Fetched, TooLong, Failed };
    Outcome outcome = Outcome::Failed;
    std::string text;
};

/// The body at `url`, up to `limit` bytes (TooLong as soon as there are more), within
/// `seconds` (Failed after). `like`: an HTTP source whose trust and user agent to copy,
/// or null. Given up (Failed) as soon as `stop` is set.
FetchedText fetchText(const std::string& url, GstElement* like, std::size_t limit, double seconds,
                      const std::atomic<bool>* stop = nullptr);

}  // namespace media::gstimpl
