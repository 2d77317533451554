#include "GstPlaylistCheck.h"

#include <cctype>
#include <sstream>

#include <media/Asset.h>

#include "GstSession.h"

namespace media::gstimpl {

namespace {

/// A playlist longer than this is not a playlist; it is passed on unread.
constexpr std::size_t kLongestPlaylist = 8u << 20;

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

struct PlaylistReader {
    std::shared_ptr<Relay> relay;
    std::string text;
    bool tooLong = false;
    bool refusedOne = false;
};

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

GstPadProbeReturn readPlaylist(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* reader = static_cast<PlaylistReader*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        if (reader->refusedOne) return GST_PAD_PROBE_DROP;
        append(*reader, GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        if (reader->refusedOne) return GST_PAD_PROBE_DROP;
        gst_buffer_list_foreach(
            GST_PAD_PROBE_INFO_BUFFER_LIST(info),
            [](GstBuffer** buffer, guint, gpointer user) -> gboolean {
                append(*static_cast<PlaylistReader*>(user), *buffer);
                return TRUE;
            },
            reader);
    } else if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP || GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
            reader->text.clear();
            reader->tooLong = false;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            if (reader->refusedOne) return GST_PAD_PROBE_DROP;
            std::string uri = firstRefusedURI(reader->text);
            reader->text.clear();
            if (!uri.empty()) {
                // The demuxer never sees the end of this playlist, so never parses it.
                reader->refusedOne = true;
                reader->relay->postRefusedURI(uri);
                return GST_PAD_PROBE_DROP;
            }
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

void checkPlaylistsEntering(GstElement* demuxer, const std::shared_ptr<Relay>& relay) {
    GstPad* pad = gst_element_get_static_pad(demuxer, "sink");
    if (!pad) return;
    auto types = static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                              GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);
    gst_pad_add_probe(pad, types, readPlaylist, new PlaylistReader{relay, {}, false, false},
                      [](gpointer data) { delete static_cast<PlaylistReader*>(data); });
    gst_object_unref(pad);
}

}  // namespace media::gstimpl
