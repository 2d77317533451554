#include "peers/InteropStreams.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "../FixtureDirectory.h"

namespace fs = std::filesystem;

namespace peers {

// Named apart: the peers' sources may be compiled as one batch.
namespace interop_streams {
namespace {

const std::string kLabel = "interop streams";

void run(const std::string& command, const fs::path& log) { fixtures::run(kLabel, command, log); }
void writeFile(const fs::path& path, const std::string& text) { fixtures::writeFile(kLabel, path, text); }
using fixtures::quote;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(kLabel + ": ffmpeg wrote no " + path.string());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The text with the line `from` (a whole line) replaced by `to`.
std::string replaceLine(const std::string& text, const std::string& from, const std::string& to) {
    std::istringstream lines(text);
    std::string out, line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line == from) {
            line = to;
            found = true;
        }
        out += line + "\n";
    }
    if (!found) throw std::runtime_error(kLabel + ": no line \"" + from + "\" in a playlist ffmpeg wrote");
    return out;
}

struct Segment {
    std::string info;  // the #EXTINF line
    std::string uri;
};

/// The segments of a media playlist ffmpeg wrote, and its header (up to the first segment).
std::vector<Segment> segmentsOf(const std::string& text, std::string* header = nullptr) {
    std::istringstream lines(text);
    std::vector<Segment> segments;
    std::string line, info;
    bool inHeader = true;
    while (std::getline(lines, line)) {
        if (line.rfind("#EXTINF:", 0) == 0) {
            info = line;
            inHeader = false;
        } else if (!line.empty() && line[0] != '#') {
            segments.push_back({info, line});
        } else if (inHeader && header && line != "#EXT-X-ENDLIST") {
            *header += line + "\n";
        }
    }
    return segments;
}

/// A VOD media playlist of the segments, each URI made by spell(index, uri).
template <typename Spell>
std::string mediaPlaylist(const std::string& header, const std::vector<Segment>& segments, Spell spell) {
    std::string text = header;
    for (std::size_t i = 0; i < segments.size(); ++i)
        text += segments[i].info + "\n" + spell(i, segments[i].uri) + "\n";
    return text + "#EXT-X-ENDLIST\n";
}

void build(const fs::path& dir) {
    const fs::path log = dir / "ffmpeg.log";
    const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y";
    const std::string x264 =
        " -c:v libx264 -preset ultrafast -profile:v baseline -pix_fmt yuv420p -g 25 -keyint_min 25 -sc_threshold 0";
    const std::string aac = " -c:a aac -b:a 32k -ac 2";
    auto input = [](const char* pattern, int seconds, int tone) {
        std::string d = std::to_string(seconds);
        return std::string(" -f lavfi -i ") + pattern + "=size=160x90:rate=25:duration=" + d +
               " -f lavfi -i sine=frequency=" + std::to_string(tone) + ":sample_rate=48000:duration=" + d;
    };
    auto hls = [&](const char* name, int segmentSeconds, const std::string& segmentFile, const std::string& extra) {
        fs::create_directories(dir / name);
        return " -f hls -hls_time " + std::to_string(segmentSeconds) +
               " -hls_playlist_type vod -master_pl_name master.m3u8" + extra + " -hls_segment_filename " +
               quote(dir / name / segmentFile) + " " + quote(dir / name / "index.m3u8");
    };
    // Encoded once, then cut into each form as it is (a key frame every second).
    const fs::path source = dir / "source.mp4";
    run(ffmpeg + input("testsrc", InteropStreams::seconds, 440) + x264 + aac + " " + quote(source), log);
    const std::string copy = ffmpeg + " -i " + quote(source) + " -c copy";
    run(copy + hls("ts", 1, "seg%d.ts", ""), log);
    run(copy + hls("long", 10, "seg%d.ts", ""), log);
    run(copy + hls("fmp4", 1, "seg%d.m4s", " -hls_segment_type fmp4 -hls_fmp4_init_filename init.mp4"), log);
    run(copy + hls("single", 1, "all.ts", " -hls_flags single_file"), log);
    // The key is named relatively: the player resolves it against the playlist's URL.
    fs::create_directories(dir / "aes");
    writeFile(dir / "aes" / "key.bin", "0123456789abcdef");
    writeFile(dir / "keyinfo", "key.bin\n" + (dir / "aes" / "key.bin").string() + "\n");
    run(copy + hls("aes", 1, "seg%d.ts", " -hls_key_info_file " + quote(dir / "keyinfo")), log);
    fs::remove(dir / "keyinfo");
    fs::remove(source);
    run(ffmpeg + input("smptebars", 2, 880) + x264 + aac + hls("bars", 1, "seg%d.ts", ""), log);

    const std::string master = readFile(dir / "ts" / "master.m3u8");
    std::string header;
    const auto ts = segmentsOf(readFile(dir / "ts" / "index.m3u8"), &header);
    const auto bars = segmentsOf(readFile(dir / "bars" / "index.m3u8"));
    if (ts.size() < static_cast<std::size_t>(InteropStreams::seconds) || bars.size() < 2)
        throw std::runtime_error(kLabel + ": ffmpeg made fewer segments than asked");

    // A discontinuity two seconds in: the second source's timestamps start again.
    fs::create_directories(dir / "disc");
    std::string disc = header;
    for (std::size_t i = 0; i < 2; ++i) disc += bars[i].info + "\n../bars/" + bars[i].uri + "\n";
    disc += "#EXT-X-DISCONTINUITY\n";
    for (const auto& segment : ts) disc += segment.info + "\n../ts/" + segment.uri + "\n";
    writeFile(dir / "disc" / "index.m3u8", disc + "#EXT-X-ENDLIST\n");
    writeFile(dir / "disc" / "master.m3u8", master);

    fs::create_directories(dir / "mr");
    writeFile(dir / "mr" / "master.m3u8", replaceLine(master, "index.m3u8", "v/index.m3u8"));

    const std::string token = std::string("?token=") + InteropStreams::kToken;
    fs::create_directories(dir / "tokens");
    writeFile(dir / "tokens" / "master.m3u8", replaceLine(master, "index.m3u8", "index.m3u8" + token));
    writeFile(dir / "tokens" / "index.m3u8",
              mediaPlaylist(header, ts, [&](std::size_t, const std::string& uri) { return "../ts/" + uri + token; }));

    fs::create_directories(dir / "odd");
    fs::create_directories(dir / "with space");
    writeFile(dir / "odd" / "dotdot.m3u8", replaceLine(master, "index.m3u8", "../ts/index.m3u8"));
    writeFile(dir / "odd" / "abspath.m3u8", replaceLine(master, "index.m3u8", "/s/ts/index.m3u8"));
    writeFile(dir / "odd" / "dots.m3u8", replaceLine(master, "index.m3u8", "./../fmp4/../ts/./index.m3u8"));
    writeFile(dir / "odd" / "percent.m3u8", replaceLine(master, "index.m3u8", "../with%20space/index.m3u8"));
    writeFile(dir / "with space" / "index.m3u8",
              mediaPlaylist(header, ts, [](std::size_t, const std::string& uri) { return "../t%73/" + uri; }));
    writeFile(dir / "odd" / "segments.m3u8", mediaPlaylist(header, ts, [](std::size_t i, const std::string& uri) {
                  switch (i % 4) {
                      case 0:
                          return "../ts/" + uri;
                      case 1:
                          return "/s/ts/" + uri;
                      case 2:
                          return "./../ts/./" + uri;
                      default:
                          return "../ts/%73" + uri.substr(1);  // "s" percent-encoded
                  }
              }));
    fs::remove(log);
}

}  // namespace
}  // namespace interop_streams

std::string InteropStreams::defaultDirectory() {
    if (const char* env = std::getenv("ZID_INTEROP_FIXTURE_DIR"); env && *env) return env;
#ifdef ZID_INTEROP_FIXTURE_DIR
    return ZID_INTEROP_FIXTURE_DIR;
#else
    return (fs::temp_directory_path() / "zid-interop-streams").string();
#endif
}

std::string InteropStreams::ensure(const std::string& dirName) {
    return fixtures::ensure(interop_streams::kLabel, dirName, interop_streams::build);
}

}  // namespace peers
