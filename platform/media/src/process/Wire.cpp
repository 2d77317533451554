#include "Wire.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <media/AssetTrack.h>
#include <media/MediaSelection.h>

namespace media::process {

Writer Writer::addressedTo(std::uint32_t item) const {
    Writer w(bytes_[0]);
    w.u32(item);
    w.bytes_.insert(w.bytes_.end(), bytes_.begin() + 1, bytes_.end());
    return w;
}

Writer& Writer::u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

Writer& Writer::u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

Writer& Writer::u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

Writer& Writer::f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return u64(bits);
}

Writer& Writer::string(const std::string& v) {
    // The reader refuses longer strings; a longer one is cut here rather than lost whole.
    std::size_t n = std::min(v.size(), kMaxString);
    u32(static_cast<std::uint32_t>(n));
    bytes_.insert(bytes_.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
    return *this;
}

Writer& Writer::time(const Time& t) { return i64(t.value).i32(t.timescale).u32(t.flags); }

Writer& Writer::size(const Size& s) { return f64(s.width).f64(s.height); }

Writer& Writer::error(const rt::Ref<rt::Error>& e, int depth) {
    if (!e || depth >= kMaxErrorDepth) return boolean(false);
    boolean(true).string(e->domain()).i64(e->code()).string(e->localizedDescription());
    string(e->userInfo().get(rt::Value(rt::Error::LocalizedFailureReasonKey)).string());
    return error(e->underlyingError(), depth + 1);
}

Writer& Writer::option(const rt::Ref<MediaSelectionOption>& o) {
    string(o->streamID()).string(o->mediaType()).string(o->extendedLanguageTag()).string(o->displayName());
    std::size_t n = std::min(o->commonMetadata().size(), kMaxList);
    u32(static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const auto& m = o->commonMetadata()[i];
        string(m.keySpace).string(m.key).string(m.stringValue);
    }
    return *this;
}

Writer& Writer::groups(const std::vector<rt::Ref<MediaSelectionGroup>>& groups) {
    std::size_t n = std::min(groups.size(), kMaxList);
    u32(static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const auto& g = groups[i];
        string(g->characteristic()).boolean(g->allowsEmptySelection());
        std::size_t options = std::min(g->options().size(), kMaxList);
        u32(static_cast<std::uint32_t>(options));
        for (std::size_t k = 0; k < options; ++k) option(g->options()[k]);
        string(g->defaultOption() ? g->defaultOption()->streamID() : std::string());
        boolean(g->defaultOption() != nullptr);
    }
    return *this;
}

Writer& Writer::info(const AssetInfo& info) {
    boolean(info.playable).time(info.duration);
    std::size_t n = std::min(info.tracks.size(), kMaxList);
    u32(static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const auto& d = info.tracks[i]->trackDescription();
        string(d.trackID).string(d.mediaType).boolean(d.enabled).string(d.codec).f64(d.nominalFrameRate);
        size(d.naturalSize).string(d.languageCode);
    }
    return groups(info.groups);
}

Writer& Writer::ranges(const std::vector<TimeRange>& ranges) {
    std::size_t n = std::min(ranges.size(), kMaxList);
    u32(static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) time(ranges[i].start).time(ranges[i].duration);
    return *this;
}

Writer& Writer::accessLogEvent(const AccessLogEvent& e) {
    string(e.URI).string(e.serverAddress).f64(e.playbackStartDate.secondsSince1970).string(e.playbackSessionID);
    f64(e.playbackStartOffset).string(e.playbackType).f64(e.startupTime).i64(e.numberOfMediaRequests);
    f64(e.segmentsDownloadedDuration).f64(e.durationWatched).i64(e.numberOfBytesTransferred);
    f64(e.transferDuration).f64(e.observedBitrate).f64(e.observedBitrateStandardDeviation);
    f64(e.observedMaxBitrate).f64(e.observedMinBitrate).f64(e.indicatedBitrate).f64(e.switchBitrate);
    return i64(e.numberOfDroppedVideoFrames);
}

Writer& Writer::errorLogEvent(const ErrorLogEvent& e) {
    f64(e.date.secondsSince1970).string(e.URI).string(e.serverAddress).string(e.playbackSessionID);
    return i64(e.errorStatusCode).string(e.errorDomain).string(e.errorComment);
}

bool Reader::take(void* out, std::size_t n) {
    if (!ok_ || static_cast<std::size_t>(end_ - p_) < n) {
        ok_ = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, p_, n);
    p_ += n;
    return true;
}

std::uint8_t Reader::u8() {
    std::uint8_t v = 0;
    take(&v, 1);
    return v;
}

std::uint32_t Reader::u32() {
    std::uint8_t b[4];
    if (!take(b, 4)) return 0;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

std::uint64_t Reader::u64() {
    std::uint64_t lo = u32();
    std::uint64_t hi = u32();
    return lo | hi << 32;
}

double Reader::f64() {
    std::uint64_t bits = u64();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::uint32_t Reader::count() {
    std::uint32_t n = u32();
    if (n > kMaxList) {
        ok_ = false;
        return 0;
    }
    return n;
}

std::string Reader::string() {
    std::uint32_t n = u32();
    if (!ok_ || n > kMaxString || static_cast<std::size_t>(end_ - p_) < n) {
        ok_ = false;
        return {};
    }
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
}

Time Reader::time() {
    Time t;
    t.value = i64();
    t.timescale = i32();
    t.flags = u32();
    return t;
}

Size Reader::size() {
    Size s;
    s.width = f64();
    s.height = f64();
    if (!(s.width >= 0 && s.width <= kMaxDimension && s.height >= 0 && s.height <= kMaxDimension)) ok_ = false;
    return s;
}

rt::Ref<rt::Error> Reader::error(int depth) {
    if (depth >= kMaxErrorDepth || !boolean()) return nullptr;
    std::string domain = string();
    long long code = i64();
    std::string description = string();
    std::string reason = string();
    auto underlying = error(depth + 1);
    if (!ok_) return nullptr;
    rt::Dictionary info{{rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(description)}};
    if (!reason.empty()) info.set(rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(reason));
    if (underlying) info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(underlying));
    return rt::Error::make(std::move(domain), code, std::move(info));
}

rt::Ref<MediaSelectionOption> Reader::option() {
    std::string id = string(), type = string(), language = string(), name = string();
    std::vector<MetadataItem> meta(count());
    for (auto& m : meta) {
        m.keySpace = string();
        m.key = string();
        m.stringValue = string();
    }
    if (!ok_) return nullptr;
    return rt::make<MediaSelectionOption>(std::move(id), std::move(type), std::move(language), std::move(name),
                                          std::move(meta));
}

std::vector<rt::Ref<MediaSelectionGroup>> Reader::groups() {
    std::vector<rt::Ref<MediaSelectionGroup>> out;
    std::uint32_t n = count();
    for (std::uint32_t i = 0; i < n && ok_; ++i) {
        std::string characteristic = string();
        bool allowsEmpty = boolean();
        std::vector<rt::Ref<MediaSelectionOption>> options;
        std::uint32_t k = count();
        for (std::uint32_t j = 0; j < k && ok_; ++j) options.push_back(option());
        std::string defaultID = string();
        bool hasDefault = boolean();
        if (!ok_) break;
        rt::Ref<MediaSelectionOption> chosen;
        for (const auto& o : options)
            if (hasDefault && o->streamID() == defaultID) chosen = o;
        if (hasDefault && !chosen) ok_ = false;  // a default that is none of the options
        out.push_back(rt::make<MediaSelectionGroup>(std::move(characteristic), std::move(options), chosen, allowsEmpty));
    }
    if (!ok_) out.clear();
    return out;
}

AssetInfo Reader::info() {
    AssetInfo info;
    info.playable = boolean();
    info.duration = time();
    std::uint32_t n = count();
    for (std::uint32_t i = 0; i < n && ok_; ++i) {
        AssetTrack::Description d;
        d.trackID = string();
        d.mediaType = string();
        d.enabled = boolean();
        d.codec = string();
        d.nominalFrameRate = static_cast<float>(f64());
        d.naturalSize = size();
        d.languageCode = string();
        info.tracks.push_back(rt::make<AssetTrack>(std::move(d)));
    }
    info.groups = groups();
    if (!ok_) info = AssetInfo{};
    return info;
}

std::vector<TimeRange> Reader::ranges() {
    std::vector<TimeRange> out(count());
    for (auto& r : out) {
        r.start = time();
        r.duration = time();
    }
    if (!ok_) out.clear();
    return out;
}

void Reader::accessLogEvent(AccessLogEvent& e) {
    e.URI = string();
    e.serverAddress = string();
    e.playbackStartDate.secondsSince1970 = f64();
    e.playbackSessionID = string();
    e.playbackStartOffset = f64();
    e.playbackType = string();
    e.startupTime = f64();
    e.numberOfMediaRequests = i64();
    e.segmentsDownloadedDuration = f64();
    e.durationWatched = f64();
    e.numberOfBytesTransferred = i64();
    e.transferDuration = f64();
    e.observedBitrate = f64();
    e.observedBitrateStandardDeviation = f64();
    e.observedMaxBitrate = f64();
    e.observedMinBitrate = f64();
    e.indicatedBitrate = f64();
    e.switchBitrate = f64();
    e.numberOfDroppedVideoFrames = i64();
}

rt::Ref<ErrorLogEvent> Reader::errorLogEvent() {
    auto e = rt::make<ErrorLogEvent>();
    e->date.secondsSince1970 = f64();
    e->URI = string();
    e->serverAddress = string();
    e->playbackSessionID = string();
    e->errorStatusCode = i64();
    e->errorDomain = string();
    e->errorComment = string();
    return ok_ ? e : nullptr;
}

void appendFramed(std::vector<std::uint8_t>& datagram, const std::vector<std::uint8_t>& message) {
    auto n = static_cast<std::uint32_t>(message.size());
    for (int i = 0; i < 4; ++i) datagram.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    datagram.insert(datagram.end(), message.begin(), message.end());
}

bool splitFramed(const std::uint8_t* datagram, std::size_t size, std::vector<std::pair<std::size_t, std::size_t>>& messages) {
    messages.clear();
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 4) break;
        std::uint32_t n = std::uint32_t(datagram[at]) | std::uint32_t(datagram[at + 1]) << 8 |
                          std::uint32_t(datagram[at + 2]) << 16 | std::uint32_t(datagram[at + 3]) << 24;
        at += 4;
        if (n == 0 || n > size - at) break;
        messages.emplace_back(at, n);
        at += n;
    }
    if (at != size) {
        messages.clear();
        return false;
    }
    return true;
}

bool sendMessage(int socket, const Writer& message, int fd, bool* full) {
    return sendDatagram(socket, message.bytes(), fd, full);
}

bool sendDatagram(int socket, const std::vector<std::uint8_t>& bytes, int fd, bool* full) {
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (fd >= 0) {
        std::memset(control, 0, sizeof control);
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
    }
    for (;;) {
        ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL | (full ? MSG_DONTWAIT : 0));
        if (n == static_cast<ssize_t>(bytes.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        if (full && n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) *full = true;
        return false;
    }
}

bool ReceiveBuffer::receive(int socket, int& fd) {
    fd = -1;
    size_ = 0;
    iovec iov{bytes_.data(), bytes_.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do n = ::recvmsg(socket, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int received;
            std::memcpy(&received, CMSG_DATA(c), sizeof(int));
            // Only one descriptor is ever sent; any more were not asked for.
            std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 1; i < count; ++i) {
                int extra;
                std::memcpy(&extra, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                ::close(extra);
            }
            if (fd >= 0) ::close(fd);
            fd = received;
        }
    }
    // A message cut short (longer than any the other side may send) is refused whole.
    if (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) {
        if (fd >= 0) ::close(fd);
        fd = -1;
        return false;
    }
    size_ = static_cast<std::size_t>(n);
    return true;
}

}  // namespace media::process
