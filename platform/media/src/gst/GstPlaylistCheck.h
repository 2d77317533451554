#pragma once
// The URIs a playlist names are held to what the content URL is held to (http or https).
// The adaptive demuxer fetches variants, renditions, keys and segments itself, through a
// downloader no source-setup hook reaches; a URI of another scheme there (file://, say)
// could read local files or leave a download that never ends. So the playlist the demuxer
// is given is read on its way in, before the demuxer parses it (which it does at the end
// of the stream): one that names another scheme never reaches the demuxer, and the
// session fails the item with the URI.

#include <memory>
#include <string>

#include <gst/gst.h>

namespace media::gstimpl {

struct Relay;

/// The first URI the playlist text names that is neither relative nor an http(s) URL,
/// or "" when there is none. Reads URI lines and every URI="..." attribute of a tag.
std::string firstRefusedURI(const std::string& playlist);

/// Reads every playlist that enters the demuxer's sink pad; one that names a refused URI
/// is held back and reported through the relay.
void checkPlaylistsEntering(GstElement* demuxer, const std::shared_ptr<Relay>& relay);

}  // namespace media::gstimpl
