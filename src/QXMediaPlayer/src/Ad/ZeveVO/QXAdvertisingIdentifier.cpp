#include <QXMediaPlayer/Ad/ZeveVO/QXAdvertisingIdentifier.h>

#include <mutex>

namespace zid {

namespace {
std::mutex gMutex;
std::optional<std::string> gIdentifier;
bool gTrackingAllowed = false;
}  // namespace

void QXAdvertisingIdentifier::setAdvertisingIdentifier(std::optional<std::string> identifier, bool trackingAllowed) {
    if (identifier)
        for (char& c : *identifier)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::lock_guard lock(gMutex);
    gIdentifier = std::move(identifier);
    gTrackingAllowed = trackingAllowed;
}

std::string QXAdvertisingIdentifier::identifierForRequests() {
    std::lock_guard lock(gMutex);
    return gIdentifier && gTrackingAllowed ? *gIdentifier : std::string();
}

}  // namespace zid
