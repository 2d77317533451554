#pragma once
// HLS test media made by ffmpeg at test set-up and kept in the build tree, so later runs
// reuse it. One set holds:
//   muxed/index.m3u8      10 s of H.264 320x240 (a moving colour test pattern) with AAC,
//                         in five 2-s MPEG-TS segments seg0.ts .. seg4.ts
//   master.m3u8           a master playlist: video/ (video only, same pattern), two audio
//                         renditions audio_eng/ (440 Hz, "ENG") and audio_fra/ (880 Hz,
//                         "FRA"), and a WebVTT subtitle rendition subs_eng/ (one cue per
//                         segment, "Cue 1" .. "Cue 5")
// Subtitle renditions carry a LANGUAGE attribute and every .vtt file ends with a blank
// line: GStreamer 1.22 needs both.

#include <string>

namespace peers {

class HlsFixtures {
public:
    /// Makes the set under dir unless it is complete there already, and answers dir.
    /// Safe when several processes ask at once (each builds aside and renames into place).
    /// Throws std::runtime_error with ffmpeg's complaint when it cannot.
    static std::string ensure(const std::string& dir);
    /// The build tree's fixture folder (ZID_HLS_FIXTURE_DIR), else one under the temp dir.
    static std::string defaultDirectory();
    /// ensure(defaultDirectory()).
    static std::string ensureDefault() { return ensure(defaultDirectory()); }

    static constexpr int segmentCount = 5;
    static constexpr double segmentDuration = 2.0;
};

}  // namespace peers
