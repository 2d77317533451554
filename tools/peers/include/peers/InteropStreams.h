#pragma once
// Small HLS streams in the spellings real origins use, made by ffmpeg at test set-up and
// kept in the build tree (later runs reuse them), for a real web server to serve. Every
// picture is 160x90 (a test pattern), 25 frames a second with a key frame each second, with
// AAC. The streams are 40 s long: GStreamer 1.22's adaptive demuxer fails a stream
// ("Couldn't download fragments") when it has downloaded all of it before exposing its
// pads, which a stream shorter than its 30 s of buffering invites on a fast origin. One set
// holds:
//   ts/index.m3u8        1-s MPEG-TS segments seg0.ts .. seg39.ts; ts/master.m3u8 names it
//                        ("index.m3u8"); live windows name these segments too
//   long/                the same in 10-s segments (short playlists)
//   fmp4/                the same as fragmented MP4: EXT-X-MAP init.mp4, seg*.m4s
//   single/              the same in one file, all.ts, its segments as byte ranges
//   aes/                 the same encrypted with AES-128, the key named relatively
//                        ("key.bin")
//   bars/index.m3u8      2 s of another pattern in 1-s segments
//   disc/index.m3u8      bars' two segments, a discontinuity, then ts's
//   mr/master.m3u8       a master naming "v/index.m3u8" (the server answers it with a redirect)
//   tokens/              a master and media playlist naming every URI with "?token=<kToken>"
//   odd/                 masters and a media playlist naming the same streams oddly:
//                        dotdot.m3u8 ("../ts/index.m3u8"), abspath.m3u8 ("/s/ts/index.m3u8",
//                        served with the set under /s/), dots.m3u8 (dot segments),
//                        percent.m3u8 ("../with%20space/index.m3u8"), segments.m3u8 (a
//                        media playlist whose segments are spelled each another way)
// every folder with a media playlist has a master.m3u8 naming it.

#include <string>

namespace peers {

class InteropStreams {
public:
    /// Makes the set under dir unless it is complete there already, and answers dir.
    /// Safe when several processes ask at once. Throws std::runtime_error with ffmpeg's
    /// complaint when it cannot.
    static std::string ensure(const std::string& dir);
    /// The build tree's folder for them (ZID_INTEROP_FIXTURE_DIR), else one under the temp dir.
    static std::string defaultDirectory();
    static std::string ensureDefault() { return ensure(defaultDirectory()); }

    static constexpr const char* kToken = "t0k3n-a1b2";
    /// Seconds of each stream, and segments of ts/.
    static constexpr int seconds = 40;
};

}  // namespace peers
