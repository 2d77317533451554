#include <QXCorePlayer/VexaWebSocketClient/Model/VexaLogoInfo.h>

namespace zid {

bool VexaLogoInfo::isEqual(const rt::Object& other) const {
    if (&other == this) return true;
    auto* logo = dynamic_cast<const VexaLogoInfo*>(&other);
    if (!logo || !url || !clickUrl || !logo->url || !logo->clickUrl) return false;
    return align == logo->align && margin == logo->margin && mobile == logo->mobile && *url == *logo->url &&
           *clickUrl == *logo->clickUrl;
}

}  // namespace zid
