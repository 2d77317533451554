#include "peers/AdServerPeer.h"

#include "../FixtureDirectory.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace peers {

std::string AdFixtures::defaultDirectory() {
    if (const char* env = std::getenv("ZID_AD_FIXTURE_DIR"); env && *env) return env;
#ifdef ZID_AD_FIXTURE_DIR
    return ZID_AD_FIXTURE_DIR;
#else
    return (fs::temp_directory_path() / "zid-ad-fixtures").string();
#endif
}

std::string AdFixtures::ensure(const std::string& dir) {
    fixtures::ensure("Ad fixtures", dir, [](const fs::path& into) {
        fixtures::run("Ad fixtures",
                      "ffmpeg -hide_banner -loglevel error -nostdin -y"
                      " -f lavfi -i smptebars=size=320x240:rate=25:duration=3"
                      " -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=3"
                      " -c:v libx264 -preset veryfast -profile:v baseline -pix_fmt yuv420p"
                      " -c:a aac -b:a 64k -ac 2 -shortest -movflags +faststart " +
                          fixtures::quote(into / "ad.mp4"),
                      into / "ffmpeg.log");
        fs::remove(into / "ffmpeg.log");
    });
    return (fs::path(dir) / "ad.mp4").string();
}

}  // namespace peers
