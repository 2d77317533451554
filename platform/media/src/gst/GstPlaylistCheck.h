#pragma once
// The URIs a playlist names are held to what the content URL is held to (http or https).
// The adaptive demuxer fetches variants, renditions, keys and segments itself, through a
// downloader no source-setup hook reaches; a URI of another scheme there (file://, say)
// could read local files or leave a download that never ends. So the playlist the demuxer
// is given is read on its way in, before the demuxer parses it (which it does at the end
// of the stream): one that names another scheme never reaches the demuxer, and the
// session fails the item with the URI. The media playlists a master names are fetched
// and read the same way when the demuxer asks for them, before it is answered
// (GstFetchGuard, GstPlaylistServer), so that no segment or key of theirs goes unchecked
// either, and only those it asks for: a playlist nothing plays (another language's audio,
// an I-frame variant) is never fetched, as bare GStreamer never fetches it. What they say
// (bandwidths, target durations) bounds the demuxer's segments (GstSegmentMeter); a
// refusal fails the item and ends its fetches. A
// playlist longer than any stream needs is refused as soon as it is that long, a master
// naming more playlists than any stream needs at once.

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace media::gstimpl {

struct Relay;

/// The first URI the playlist text names that is neither relative nor an http(s) URL,
/// or "" when there is none. Reads URI lines and every URI="..." attribute of a tag.
std::string firstRefusedURI(const std::string& playlist);

/// Why an answer the origin gave for a playlist is none, for a person ("was an empty
/// answer, not a playlist", ...), or "" when it is one. One that names neither segments
/// nor playlists (only its header, tags or comments) has nothing to play and is none. The
/// demuxer never gets such an answer: some of them (an empty one) end its process rather
/// than fail its item.
std::string whyNotAPlaylist(const std::string& text);

/// Whether a playlist names variants or renditions (a master) rather than segments.
bool namesVariants(const std::string& playlist);

/// Why a playlist that begins as one is not whole, for a person ("was cut short: ..."), or
/// "" when it is: its last line is a tag that names a URI on the next line, with none after
/// it, or a tag without its line end. What a refresh cut short names is not what the origin
/// publishes; the demuxer given one stopped refreshing for good.
std::string whyCutShort(const std::string& playlist);

/// The number of the last segment a media playlist names (its EXT-X-MEDIA-SEQUENCE plus
/// the segments after the first), or nothing when it names none.
std::optional<std::uint64_t> lastSegmentNumber(const std::string& playlist);

/// What a playlist says that bounds the demuxer's fetches.
struct PlaylistFacts {
    /// It names variants or renditions (a master playlist).
    bool master = false;
    /// The playlists a master names: variants, renditions, I-frame variants.
    std::vector<std::string> playlists;
    /// Of those, the I-frame variants (as written).
    std::vector<std::string> iframePlaylists;
    /// Every URI it names, as written (playlists, segments, keys, maps).
    std::vector<std::string> uris;
    /// The keys its segments are encrypted with (EXT-X-KEY, a method other than NONE), as
    /// written.
    std::vector<std::string> keys;
    /// The initialization segments its segments need (EXT-X-MAP), as written.
    std::vector<std::string> maps;
    /// The largest BANDWIDTH of its variants, bits per second; 0 when none says.
    std::uint64_t bandwidth = 0;
    /// EXT-X-TARGETDURATION in seconds; 0 when absent.
    double targetDuration = 0;
    /// It says EXT-X-ENDLIST: the demuxer never fetches it again.
    bool ended = false;
};
PlaylistFacts readPlaylistFacts(const std::string& playlist);
/// The keys of `facts`, resolved against `base` (the playlist's URL).
std::set<std::string> keysNamed(const PlaylistFacts& facts, const std::string& base);
/// The initialization segments of `facts`, resolved against `base`.
std::set<std::string> mapsNamed(const PlaylistFacts& facts, const std::string& base);

/// Reads every playlist that enters the demuxer's sink pad; one that names a refused URI
/// (itself, or in a media playlist a master names) or is too long is held back and
/// reported through the relay.
void checkPlaylistsEntering(GstElement* demuxer, const std::shared_ptr<Relay>& relay);

}  // namespace media::gstimpl
