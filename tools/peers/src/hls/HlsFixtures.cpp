#include "peers/HlsFixtures.h"

#include "../FixtureDirectory.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace peers {

namespace {

const std::string kLabel = "HLS fixtures";

void run(const std::string& command, const fs::path& log) { fixtures::run(kLabel, command, log); }
void writeFile(const fs::path& path, const std::string& text) { fixtures::writeFile(kLabel, path, text); }
using fixtures::quote;

std::string hlsOutput(const fs::path& dir, const char* name) {
    return " -f hls -hls_time 2 -hls_playlist_type vod -hls_segment_filename " + quote(dir / name / "seg%d.ts") + " " +
           quote(dir / name / "index.m3u8");
}

void build(const fs::path& dir) {
    for (const char* sub : {"muxed", "video", "audio_eng", "audio_fra", "subs_eng"}) fs::create_directories(dir / sub);
    const fs::path log = dir / "ffmpeg.log";
    const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y";
    const std::string pattern = " -f lavfi -i testsrc2=size=320x240:rate=25:duration=10";
    const std::string x264 =
        " -c:v libx264 -preset veryfast -profile:v baseline -pix_fmt yuv420p -g 50 -keyint_min 50 -sc_threshold 0";
    const std::string aac = " -c:a aac -b:a 64k -ac 2";
    run(ffmpeg + pattern + " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=10" + x264 + aac + hlsOutput(dir, "muxed"), log);
    run(ffmpeg + pattern + x264 + hlsOutput(dir, "video"), log);
    run(ffmpeg + " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=10" + aac + hlsOutput(dir, "audio_eng"), log);
    run(ffmpeg + " -f lavfi -i sine=frequency=880:sample_rate=48000:duration=10" + aac + hlsOutput(dir, "audio_fra"), log);

    // Subtitles: one cue inside each 2-s segment. The MPEG-TS segments start at 1.4 s
    // (ffmpeg's muxer offset), which the timestamp map ties to local time 0.
    std::string playlist = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < HlsFixtures::segmentCount; ++i) {
        char cue[256];
        std::snprintf(cue, sizeof cue,
                      "WEBVTT\nX-TIMESTAMP-MAP=MPEGTS:126000,LOCAL:00:00:00.000\n\n00:00:%02d.200 --> 00:00:%02d.800\nCue %d\n\n",
                      i * 2, i * 2 + 1, i + 1);
        writeFile(dir / "subs_eng" / ("sub" + std::to_string(i) + ".vtt"), cue);
        playlist += "#EXTINF:2.000000,\nsub" + std::to_string(i) + ".vtt\n";
    }
    writeFile(dir / "subs_eng" / "index.m3u8", playlist + "#EXT-X-ENDLIST\n");
    writeFile(dir / "master.m3u8",
              "#EXTM3U\n#EXT-X-VERSION:3\n"
              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",LANGUAGE=\"en\",NAME=\"ENG\",DEFAULT=YES,AUTOSELECT=YES,URI=\"audio_eng/index.m3u8\"\n"
              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",LANGUAGE=\"fr\",NAME=\"FRA\",DEFAULT=NO,AUTOSELECT=YES,URI=\"audio_fra/index.m3u8\"\n"
              "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",LANGUAGE=\"en\",NAME=\"English\",DEFAULT=NO,AUTOSELECT=YES,URI=\"subs_eng/index.m3u8\"\n"
              "#EXT-X-STREAM-INF:BANDWIDTH=500000,CODECS=\"avc1.42c00d,mp4a.40.2\",RESOLUTION=320x240,AUDIO=\"aud\",SUBTITLES=\"subs\"\n"
              "video/index.m3u8\n");
    fs::remove(log);
}

}  // namespace

std::string HlsFixtures::defaultDirectory() {
    if (const char* env = std::getenv("ZID_HLS_FIXTURE_DIR"); env && *env) return env;
#ifdef ZID_HLS_FIXTURE_DIR
    return ZID_HLS_FIXTURE_DIR;
#else
    return (fs::temp_directory_path() / "zid-hls-fixtures").string();
#endif
}

std::string HlsFixtures::ensure(const std::string& dirName) { return fixtures::ensure(kLabel, dirName, build); }

}  // namespace peers
