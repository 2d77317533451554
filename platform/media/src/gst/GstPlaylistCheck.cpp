#include "GstPlaylistCheck.h"
#include "GstHandOver.h"

#include <media/Asset.h>
#include <rt/Format.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "GstDemuxerSession.h"
#include "GstFetchGuard.h"
#include "GstPlaylistFetch.h"
#include "GstSession.h"
#include "QuotedURI.h"

namespace media::gstimpl {

namespace {

/// Playlists a master may name (variants, renditions, I-frame variants, each time it
/// names one): a large ladder with many languages names about a hundred.
constexpr std::size_t kMostPlaylists = 300;

struct Refusal {
    MediaErrorCode code;
    std::string description;
};

/// Whether a line of the playlist is a URI (a segment's, or a variant's).
bool namesURILine(const std::string& playlist) {
    std::istringstream lines(playlist);
    std::string line;
    while (std::getline(lines, line)) {
        auto first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] != '#') return true;
    }
    return false;
}

bool hasScheme(const std::string& uri) {
    auto colon = uri.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(uri[0]))) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(uri[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

/// A relative reference resolves against the playlist's own http(s) URL; anything with a
/// scheme must be an http(s) URL itself.
bool refused(const std::string& uri) { return hasScheme(uri) && !Asset::isSupportedURL(uri); }

std::string trimmed(const std::string& s) {
    auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

/// "The playlist", with its URL when known.
std::string thePlaylist(const std::string& url) {
    return url.empty() ? std::string("The playlist") : "The playlist \"" + quotedURI(url) + "\"";
}

std::string refusedSchemeMessage(const std::string& playlist, const std::string& uri) {
    return rt::format("%s names \"%s\": only http and https URLs are fetched.", thePlaylist(playlist), quotedURI(uri));
}

std::string tooManyMessage(const std::string& master, std::size_t named) {
    return rt::format("%s names %zu playlists, more than any stream needs (at most %zu): it was refused.",
                      thePlaylist(master), named, kMostPlaylists);
}

std::string tooLongMessage(const std::string& playlist) {
    return rt::format("%s is longer than %zu MiB, more than any stream needs: it was refused.", thePlaylist(playlist),
                      kLongestPlaylist >> 20);
}

std::string resolved(const std::string& base, const std::string& uri) {
    if (base.empty()) return uri;
    GError* error = nullptr;
    gchar* absolute = g_uri_resolve_relative(base.c_str(), uri.c_str(), G_URI_FLAGS_NONE, &error);
    g_clear_error(&error);
    if (!absolute) return uri;
    std::string out = absolute;
    g_free(absolute);
    return out;
}

/// The URL the playlist entering the pad was read from (where a redirect led), or "";
/// with `asked`, the URL it was asked at.
std::string upstreamURI(GstPad* pad, std::string* asked = nullptr) {
    GstQuery* query = gst_query_new_uri();
    std::string uri;
    if (gst_pad_peer_query(pad, query)) {
        gchar* redirect = nullptr;
        gchar* first = nullptr;
        gst_query_parse_uri_redirection(query, &redirect);
        gst_query_parse_uri(query, &first);
        uri = redirect ? redirect : first ? first : "";
        if (asked) *asked = first ? first : "";
        g_free(redirect);
        g_free(first);
    }
    gst_query_unref(query);
    return uri;
}

/// The HTTP source of the source bin holding the demuxer (a reference), whose trust the
/// checks' own fetches take; null when there is none.
GstElement* pipelineSourceOf(GstElement* demuxer) {
    for (GstObject* o = GST_OBJECT_PARENT(demuxer); o; o = GST_OBJECT_PARENT(o)) {
        GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(o), "source");
        if (!property || !g_type_is_a(property->value_type, GST_TYPE_ELEMENT)) continue;
        GstElement* source = nullptr;
        g_object_get(o, "source", &source, nullptr);
        if (source) return source;
    }
    return nullptr;
}

std::set<std::string> absoluteURIs(const std::vector<std::string>& uris, const std::string& base) {
    std::set<std::string> out;
    for (const auto& uri : uris) out.insert(resolved(base, uri));
    return out;
}

struct PlaylistReader {
    std::shared_ptr<FetchGuard> guard;
    GstElement* demuxer = nullptr;  // the probe lives no longer than the demuxer's pad
    std::string text;
    bool tooLong = false;
    bool refusedOne = false;
};

/// Why the text of the playlist at `url` is refused (a URI of another scheme, more
/// playlists than any stream needs), or nothing, with what it says in `facts`.
std::optional<Refusal> refusalOf(const std::string& url, const std::string& text, PlaylistFacts& facts) {
    if (std::string uri = firstRefusedURI(text); !uri.empty())
        return Refusal{MediaErrorCode::UnsupportedURL, refusedSchemeMessage(url, uri)};
    facts = readPlaylistFacts(text);
    if (facts.playlists.size() > kMostPlaylists)
        return Refusal{MediaErrorCode::ServerFailed, tooManyMessage(url, facts.playlists.size())};
    return std::nullopt;
}

/// Reads a playlist fetched apart from the demuxer for the demuxer's read of it: one that is too long or refused fails
/// the item; else what it says bounds the demuxer's segments. The URIs it names are not kept: the demuxer's session is
/// known by then, and every playlist request of it comes here.
std::optional<Refusal> readFetchedPlaylist(const std::string& url, const FetchedText& fetched, FetchGuard& guard) {
    if (fetched.outcome == FetchedText::Outcome::TooLong)
        return Refusal{MediaErrorCode::ServerFailed, tooLongMessage(url)};
    // One that could not be fetched is answered to the demuxer as it failed, and named.
    if (fetched.outcome != FetchedText::Outcome::Fetched) return std::nullopt;
    PlaylistFacts facts;
    if (auto refusal = refusalOf(url, fetched.text, facts)) return refusal;
    guard.learn(facts.bandwidth, facts.targetDuration);
    return std::nullopt;
}

void append(PlaylistReader& reader, GstBuffer* buffer) {
    if (reader.tooLong) return;
    if (reader.text.size() + gst_buffer_get_size(buffer) > kLongestPlaylist) {
        reader.tooLong = true;
        reader.text.clear();
        return;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    reader.text.append(reinterpret_cast<const char*>(map.data), map.size);
    gst_buffer_unmap(buffer, &map);
}

GstPadProbeReturn readPlaylist(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    Handling handling(data);
    auto* reader = static_cast<PlaylistReader*>(data);
    auto refuse = [&](MediaErrorCode code, std::string description) {
        // The demuxer never sees the end of this playlist, so never parses it.
        reader->refusedOne = true;
        reader->text.clear();
        reader->guard->refuse(code, std::move(description));
        return GST_PAD_PROBE_DROP;
    };
    if (info->type & (GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST)) {
        if (reader->refusedOne) return GST_PAD_PROBE_DROP;
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
            append(*reader, GST_PAD_PROBE_INFO_BUFFER(info));
        } else {
            gst_buffer_list_foreach(
                GST_PAD_PROBE_INFO_BUFFER_LIST(info),
                [](GstBuffer** buffer, guint, gpointer user) -> gboolean {
                    append(*static_cast<PlaylistReader*>(user), *buffer);
                    return TRUE;
                },
                reader);
        }
        // Refused at once: the rest is not waited for.
        if (reader->tooLong) return refuse(MediaErrorCode::ServerFailed, tooLongMessage(upstreamURI(pad)));
    } else if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP || GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
            reader->text.clear();
            reader->tooLong = false;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            if (reader->refusedOne) return GST_PAD_PROBE_DROP;
            std::string text = std::move(reader->text);
            reader->text.clear();
            std::string asked;
            std::string base = upstreamURI(pad, &asked);
            // Not a playlist (an empty answer, say): the demuxer never parses it.
            if (std::string cause = whyNotAPlaylist(text); !cause.empty())
                return refuse(MediaErrorCode::ServerFailed, thePlaylist(base) + " " + cause + ".");
            PlaylistFacts facts;
            if (auto refusal = refusalOf(base, text, facts))
                return refuse(refusal->code, std::move(refusal->description));
            reader->guard->learn(facts.bandwidth, facts.targetDuration);
            reader->guard->learnKeys(keysNamed(facts, base));
            reader->guard->learnMaps(mapsNamed(facts, base));
            reader->guard->fetchLike(pipelineSourceOf(reader->demuxer));
            // A live media playlist given as the item's URL is refreshed through the guard:
            // the demuxer has read it.
            reader->guard->noteRead(base, facts.master);
            reader->guard->noteRead(asked, facts.master);
            reader->guard->notePassed(base, text, facts);
            if (asked != base) reader->guard->notePassed(asked, text, facts);
            // The media playlists it names are fetched and checked when the demuxer reads
            // them (GstFetchGuard), and only those: one nothing plays is never fetched.
            return GST_PAD_PROBE_OK;
        }
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

std::string firstRefusedURI(const std::string& playlist) {
    std::istringstream lines(playlist);
    std::string line;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty()) continue;
        if (line[0] != '#') {
            if (refused(line)) return line;
            continue;
        }
        // Tags name their URIs in a URI="..." attribute (renditions, keys, maps, I-frame
        // variants, session data and keys, parts, preload hints, rendition reports).
        for (auto at = line.find("URI=\""); at != std::string::npos; at = line.find("URI=\"", at + 5)) {
            auto start = at + 5;
            auto end = line.find('"', start);
            std::string uri = trimmed(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (refused(uri)) return uri;
            if (end == std::string::npos) break;
        }
    }
    return {};
}

std::string whyNotAPlaylist(const std::string& text) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return text.empty() ? "was an empty answer, not a playlist"
                            : "was an empty answer (blank lines), not a playlist";
    if (text.rfind("\xef\xbb\xbf", 0) == 0)
        return "begins with a byte-order mark, where a playlist begins with #EXTM3U";
    if (text.rfind("#EXTM3U", 0) != 0) return "was not a playlist: it does not begin with #EXTM3U";
    // Only its header, tags or comments: the demuxer would take it and find nothing to play.
    if (!namesVariants(text) && !namesURILine(text)) return "names no segments: there is nothing in it to play";
    return {};
}

std::string whyCutShort(const std::string& playlist) {
    auto end = playlist.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return {};
    auto start = playlist.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    std::string last = playlist.substr(start, end + 1 - start);
    if (last.rfind("#EXT", 0) != 0) return {};
    std::string shown = last.size() > 60 ? last.substr(0, 60) + "..." : last;
    if (playlist.find('\n', end) == std::string::npos && last != "#EXT-X-ENDLIST")
        return "was cut short: its last line \"" + shown + "\" has no line end";
    for (const char* tag : {"#EXTINF", "#EXT-X-STREAM-INF"})
        if (last.rfind(tag, 0) == 0)
            return "was cut short: it ends with \"" + shown + "\" and no URI after it";
    return {};
}

std::optional<std::uint64_t> lastSegmentNumber(const std::string& playlist) {
    std::uint64_t sequence = 0, segments = 0;
    for (std::size_t at = 0; at < playlist.size();) {
        auto next = playlist.find('\n', at);
        if (next == std::string::npos) next = playlist.size();
        auto first = playlist.find_first_not_of(" \t\r", at);
        if (first < next) {
            if (playlist[first] != '#')
                ++segments;
            else if (playlist.compare(first, 22, "#EXT-X-MEDIA-SEQUENCE:") == 0)
                sequence = std::strtoull(playlist.c_str() + first + 22, nullptr, 10);
        }
        at = next + 1;
    }
    if (segments == 0) return std::nullopt;
    // A sequence near the largest number stays there rather than wrapping.
    return sequence > UINT64_MAX - (segments - 1) ? UINT64_MAX : sequence + segments - 1;
}

bool namesVariants(const std::string& playlist) {
    for (const char* tag : {"\n#EXT-X-STREAM-INF:", "\n#EXT-X-MEDIA:", "\n#EXT-X-I-FRAME-STREAM-INF:"})
        if (playlist.find(tag) != std::string::npos) return true;
    return false;
}

namespace {

/// The value of ATTRIBUTE= in a tag's attribute list, quoted or not, or "".
std::string attribute(const std::string& line, const std::string& name) {
    for (auto at = line.find(name + "="); at != std::string::npos; at = line.find(name + "=", at + 1)) {
        if (at > 0 && line[at - 1] != ':' && line[at - 1] != ',') continue;
        auto start = at + name.size() + 1;
        if (start < line.size() && line[start] == '"') {
            auto end = line.find('"', start + 1);
            return line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        }
        return line.substr(
            start, line.find(',', start) == std::string::npos ? std::string::npos : line.find(',', start) - start);
    }
    return {};
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

PlaylistFacts readPlaylistFacts(const std::string& playlist) {
    PlaylistFacts facts;
    std::istringstream lines(playlist);
    std::string line;
    bool variantNext = false;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty()) continue;
        if (line[0] != '#') {
            facts.uris.push_back(line);
            if (variantNext) facts.playlists.push_back(line);
            variantNext = false;
            continue;
        }
        std::string uri = attribute(line, "URI");
        if (!uri.empty()) facts.uris.push_back(uri);
        if (startsWith(line, "#EXT-X-STREAM-INF:") || startsWith(line, "#EXT-X-I-FRAME-STREAM-INF:")) {
            facts.master = true;
            facts.bandwidth = std::max<std::uint64_t>(facts.bandwidth,
                                                      std::strtoull(attribute(line, "BANDWIDTH").c_str(), nullptr, 10));
            if (startsWith(line, "#EXT-X-STREAM-INF:"))
                variantNext = true;
            else if (!uri.empty()) {
                facts.playlists.push_back(uri);
                facts.iframePlaylists.push_back(uri);
            }
        } else if (startsWith(line, "#EXT-X-MEDIA:")) {
            facts.master = true;
            if (!uri.empty()) facts.playlists.push_back(uri);
        } else if (startsWith(line, "#EXT-X-TARGETDURATION:")) {
            facts.targetDuration = std::strtod(line.c_str() + 22, nullptr);
        } else if (line == "#EXT-X-ENDLIST") {
            facts.ended = true;
        } else if (startsWith(line, "#EXT-X-KEY:") && !uri.empty() && attribute(line, "METHOD") != "NONE") {
            facts.keys.push_back(uri);
        } else if (startsWith(line, "#EXT-X-MAP:") && !uri.empty()) {
            facts.maps.push_back(uri);
        }
    }
    return facts;
}

std::set<std::string> keysNamed(const PlaylistFacts& facts, const std::string& base) {
    return absoluteURIs(facts.keys, base);
}

std::set<std::string> mapsNamed(const PlaylistFacts& facts, const std::string& base) {
    return absoluteURIs(facts.maps, base);
}

void checkPlaylistsEntering(GstElement* demuxer, const std::shared_ptr<Relay>& relay) {
    GstPad* pad = gst_element_get_static_pad(demuxer, "sink");
    if (!pad) return;
    auto types = static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                              GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);
    auto guard = FetchGuard::of(demuxer, relay);
    // A demuxer whose own session is not known would fetch its playlists unchecked.
    if (!sessionKnown(demuxer))
        guard->refuse(MediaErrorCode::EngineFailed,
                      "The stream's playlists could not be checked: the HTTP session of its demuxer is not known.");
    std::weak_ptr<FetchGuard> weak = guard;
    guard->onCheck([weak](const std::string& url, const FetchedText& fetched) {
        auto g = weak.lock();
        if (!g) return false;
        if (auto refusal = readFetchedPlaylist(url, fetched, *g)) {
            g->refuse(refusal->code, std::move(refusal->description));
            return false;
        }
        return true;
    });
    auto* reader = new PlaylistReader{guard, demuxer, {}, false, false};
    gst_pad_add_probe(pad, types, readPlaylist, handOver(reader), [](gpointer data) {
        takenOver(data);
        delete static_cast<PlaylistReader*>(data);
    });
    gst_object_unref(pad);
}

}  // namespace media::gstimpl
