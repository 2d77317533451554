#include "peers/MediaServerPeer.h"

#include <nlohmann/json.hpp>

#include <ctime>

namespace peers {

std::string mediaServerAnnouncement(const std::string& url, const std::string& media) {
    using Json = nlohmann::ordered_json;
    auto moduleInfo = [](Json modules) {
        Json message = {{"cmd", "moduleInfo"}, {"args", Json::array({std::move(modules)})}};
        Json args = {{"subchannelId", "$subchannelId"}, {"messageData", std::move(message)}};
        return Json{{"frame", {{"cmd", "subscribeMessage"}, {"args", Json::array({std::move(args)})}}}};
    };
    // The broadcast began ten minutes ago.
    long long wentOnline = static_cast<long long>(std::time(nullptr)) - 600;
    Json stream = {{"stream", Json::array({{{"name", "uhls"}, {"url", url}}})}};
    Json meta = {{"meta", {{"title", "Loopback"}, {"wentOnlineInUnixTs", wentOnline}}},
                 {"viewers", 3},
                 {"clientRateLimit", {{"deferred", 2}, {"immediate", 1}}}};
    Json when = {{"cmd", "subscribe"}};
    if (!media.empty()) when["media"] = media;
    Json rule = {{"when", std::move(when)},
                 {"alsoDefault", true},
                 {"send", Json::array({moduleInfo(std::move(stream)), moduleInfo(std::move(meta))})}};
    return Json::array({std::move(rule)}).dump();
}

}  // namespace peers
