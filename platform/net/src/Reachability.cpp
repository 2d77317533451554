#include <net/Reachability.h>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#ifndef ARPHRD_RAWIP
#define ARPHRD_RAWIP 519
#endif

namespace net {

namespace {

struct Link {
    std::string name;
    unsigned type = 0;
    unsigned flags = 0;
};

struct DefaultRoute {
    int interfaceIndex = 0;
    unsigned metric = 0;
};

int openRouteSocket(unsigned groups, int flags) {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | flags, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

/// Sends a dump request and calls visit() for each message of the answer. Answers
/// false when the kernel could not be asked or did not answer in time.
template <class Body, class Visit>
bool dump(int fd, unsigned& sequence, unsigned short type, const Body& body, Visit&& visit) {
    struct {
        nlmsghdr header;
        Body body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(Body));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++sequence;
    request.body = body;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return false;
    std::vector<char> buffer(65536);  // dump messages are at most this large
    for (int reads = 0; reads < 10000; ++reads) {  // a dump ends with DONE; the bound guards a broken peer
        long n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto remaining = static_cast<unsigned>(n);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_seq != sequence) continue;  // an answer to an older, abandoned request
            if (header->nlmsg_type == NLMSG_DONE) return true;
            if (header->nlmsg_type == NLMSG_ERROR) return false;
            visit(header);
        }
    }
    return false;
}

}  // namespace

Reachability::Reachability() = default;

Reachability::~Reachability() { stop(); }

Reachability::Status Reachability::classify(const std::string& name, unsigned linkType) {
    if (linkType == ARPHRD_PPP || linkType == ARPHRD_RAWIP || linkType == ARPHRD_NONE) return Status::ReachableViaCellular;
    for (const char* prefix : {"wwan", "rmnet", "ccmni", "ppp"})
        if (name.rfind(prefix, 0) == 0) return Status::ReachableViaCellular;
    return Status::ReachableViaWiFi;
}

bool Reachability::start(rt::Ref<rt::Error>* error, rt::Ref<fnd::RunLoop> loop) {
    if (error) *error = nullptr;
    if (isRunning()) return true;
    monitorFd_ = openRouteSocket(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                                     RTMGRP_IPV6_ROUTE,
                                 SOCK_NONBLOCK);
    if (monitorFd_ >= 0) queryFd_ = openRouteSocket(0, 0);
    if (monitorFd_ < 0 || queryFd_ < 0) {
        int saved = errno;
        stop();
        if (error) *error = posixError(saved, "netlink route socket");
        return false;
    }
    timeval limit{1, 0};  // the kernel answers at once; this only bounds a wedged read
    ::setsockopt(queryFd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    auto handler = handler_;
    handler_ = nullptr;
    refresh();  // the first reading is not a change
    handler_ = std::move(handler);

    loop_ = loop ? std::move(loop) : fnd::RunLoop::current();
    rt::Weak<Reachability> weak = selfAs<Reachability>();
    source_ = loop_->addSource(monitorFd_, POLLIN, [weak](short) {
        if (auto self = weak.lock()) self->onReadable();
    });
    return true;
}

void Reachability::stop() {
    if (loop_ && source_) loop_->removeSource(source_);
    loop_.reset();
    source_ = 0;
    if (monitorFd_ >= 0) ::close(monitorFd_);
    if (queryFd_ >= 0) ::close(queryFd_);
    monitorFd_ = queryFd_ = -1;
}

void Reachability::onReadable() {
    // Changes come in bursts; read them all, then look once.
    char buffer[8192];
    for (int reads = 0; reads < 1000; ++reads) {
        long n = ::recv(monitorFd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ENOBUFS) continue;  // messages were lost: the fresh reading covers them
        if (n <= 0) break;
    }
    refresh();
}

void Reachability::refresh() {
    if (queryFd_ < 0) return;
    std::map<int, Link> links;
    ifinfomsg linkRequest{};
    linkRequest.ifi_family = AF_UNSPEC;
    bool linksRead = dump(queryFd_, sequence_, RTM_GETLINK, linkRequest, [&](nlmsghdr* header) {
        if (header->nlmsg_type != RTM_NEWLINK) return;
        auto* info = static_cast<ifinfomsg*>(NLMSG_DATA(header));
        Link link;
        link.type = info->ifi_type;
        link.flags = info->ifi_flags;
        int length = static_cast<int>(IFLA_PAYLOAD(header));
        for (auto* attr = IFLA_RTA(info); RTA_OK(attr, length); attr = RTA_NEXT(attr, length))
            if (attr->rta_type == IFLA_IFNAME)
                link.name.assign(static_cast<const char*>(RTA_DATA(attr)),
                                 ::strnlen(static_cast<const char*>(RTA_DATA(attr)), RTA_PAYLOAD(attr)));
        links[info->ifi_index] = std::move(link);
    });

    std::vector<DefaultRoute> routes;
    rtmsg routeRequest{};
    routeRequest.rtm_family = AF_UNSPEC;
    bool routesRead = dump(queryFd_, sequence_, RTM_GETROUTE, routeRequest, [&](nlmsghdr* header) {
        if (header->nlmsg_type != RTM_NEWROUTE) return;
        auto* route = static_cast<rtmsg*>(NLMSG_DATA(header));
        if (route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST) return;
        if (route->rtm_family != AF_INET && route->rtm_family != AF_INET6) return;
        unsigned table = route->rtm_table;
        DefaultRoute found;
        int length = static_cast<int>(RTM_PAYLOAD(header));
        for (auto* attr = RTM_RTA(route); RTA_OK(attr, length); attr = RTA_NEXT(attr, length)) {
            switch (attr->rta_type) {
            case RTA_TABLE: table = *static_cast<unsigned*>(RTA_DATA(attr)); break;
            case RTA_OIF: found.interfaceIndex = *static_cast<int*>(RTA_DATA(attr)); break;
            case RTA_PRIORITY: found.metric = *static_cast<unsigned*>(RTA_DATA(attr)); break;
            case RTA_MULTIPATH:
                if (RTA_PAYLOAD(attr) >= sizeof(rtnexthop))
                    found.interfaceIndex = static_cast<rtnexthop*>(RTA_DATA(attr))->rtnh_ifindex;
                break;
            default: break;
            }
        }
        if (table == RT_TABLE_MAIN && found.interfaceIndex > 0) routes.push_back(found);
    });

    // A reading that failed says nothing about the network: keep the last status.
    if (!linksRead || !routesRead) return;
    Status best = Status::NotReachable;
    std::string bestInterface;
    unsigned bestMetric = 0;
    for (const DefaultRoute& route : routes) {
        auto it = links.find(route.interfaceIndex);
        if (it == links.end()) continue;
        const Link& link = it->second;
        if (!(link.flags & IFF_UP) || !(link.flags & IFF_RUNNING)) continue;
        Status kind = classify(link.name, link.type);
        // A local network beats a cellular one; among equals the lower metric wins.
        bool better = static_cast<int>(kind) > static_cast<int>(best) ||
                      (kind == best && route.metric < bestMetric);
        if (better) {
            best = kind;
            bestInterface = link.name;
            bestMetric = route.metric;
        }
    }
    interface_ = bestInterface;
    if (best == status_) return;
    status_ = best;
    if (handler_) {
        auto keepAlive = self();
        auto handler = handler_;
        handler(best);
    }
}

}  // namespace net
