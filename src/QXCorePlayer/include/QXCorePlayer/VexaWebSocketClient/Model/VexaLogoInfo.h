#pragma once
// One channel logo and one multicam entry, as the media server describes them.

#include <cstdint>
#include <optional>
#include <string>

#include <rt/Object.h>

namespace zid {

class VexaLogoInfo : public rt::Object {
    RT_CLASS(VexaLogoInfo, rt::Object)
public:
    /// Position code: row = align / 3, column = align % 3, 0 to 8 on a 3 by 3 grid.
    std::int64_t align = 0;
    std::int64_t margin = 0;
    bool mobile = false;
    /// The image's URL; a logo may have none.
    std::optional<std::string> url;
    std::optional<std::string> clickUrl;

    /// Equal fields; a missing url or clickUrl on either side makes two logos unequal.
    bool isEqual(const rt::Object& other) const override;
};

class VexaMulticamInfo : public rt::Object {
    RT_CLASS(VexaMulticamInfo, rt::Object)
public:
    std::optional<std::string> channelId, channelDescription, status, thumbnailUrl, title;
};

}  // namespace zid
