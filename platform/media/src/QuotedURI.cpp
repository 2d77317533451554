#include "QuotedURI.h"

namespace media {

std::string quotedURI(const std::string& uri) {
    if (uri.size() <= kQuotedURILength) return uri;
    // Never cut inside a UTF-8 sequence.
    std::size_t cut = kQuotedURILength;
    while (cut > 0 && (static_cast<unsigned char>(uri[cut]) & 0xC0) == 0x80) --cut;
    return uri.substr(0, cut) + "...";
}

}  // namespace media
