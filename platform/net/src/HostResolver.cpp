#include <net/HostResolver.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <thread>

namespace net {

std::string addressText(const SocketAddress& address) {
    char text[INET6_ADDRSTRLEN] = {0};
    switch (addressFamily(address)) {
    case AF_INET: {
        sockaddr_in in{};
        std::memcpy(&in, address.data(), sizeof in);
        ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        return text;
    }
    case AF_INET6: {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address.data(), sizeof in6);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        return text;
    }
    default:
        return {};
    }
}

int addressFamily(const SocketAddress& address) {
    if (address.size() < sizeof(sockaddr)) return AF_UNSPEC;
    sockaddr generic{};
    std::memcpy(&generic, address.data(), sizeof generic);
    if (generic.sa_family == AF_INET && address.size() >= sizeof(sockaddr_in)) return AF_INET;
    if (generic.sa_family == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) return AF_INET6;
    return AF_UNSPEC;
}

std::vector<SocketAddress> HostResolver::resolveNow(const std::string& hostName, rt::Ref<rt::Error>* error) {
    std::vector<SocketAddress> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;  // one entry per address instead of one per socket type
    addrinfo* list = nullptr;
    int status = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &list);
    if (status != 0) {
        if (error) {
            std::string reason = status == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(status);
            *error = networkError(NetworkError::HostUnknown,
                                  "The host name \"" + hostName + "\" could not be resolved: " + reason + ".",
                                  rt::Dictionary{{kGetAddrInfoFailureKey, status}});
        }
        return addresses;
    }
    for (addrinfo* entry = list; entry; entry = entry->ai_next) {
        auto* bytes = reinterpret_cast<const std::uint8_t*>(entry->ai_addr);
        addresses.emplace_back(bytes, bytes + entry->ai_addrlen);
    }
    ::freeaddrinfo(list);
    if (error) *error = nullptr;
    return addresses;
}

namespace {

/// The address when the text is a numeric IPv4 or IPv6 address (no lookup, never
/// blocks); empty otherwise.
std::vector<SocketAddress> numericAddress(const std::string& hostName) {
    std::vector<SocketAddress> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (hostName.empty() || ::getaddrinfo(hostName.c_str(), nullptr, &hints, &list) != 0) return addresses;
    for (addrinfo* entry = list; entry; entry = entry->ai_next) {
        auto* bytes = reinterpret_cast<const std::uint8_t*>(entry->ai_addr);
        addresses.emplace_back(bytes, bytes + entry->ai_addrlen);
    }
    ::freeaddrinfo(list);
    return addresses;
}

}  // namespace

rt::Ref<HostResolution> HostResolver::resolve(const std::string& hostName, HostResolution::Completion completion,
                                              rt::Ref<fnd::RunLoop> loop) {
    auto resolution = rt::make<HostResolution>();
    if (!loop) loop = fnd::RunLoop::current();
    auto report = [loop, cancelled = resolution->cancelled_, completion = std::move(completion)](
                      std::vector<SocketAddress> addresses, rt::Ref<rt::Error> error) mutable {
        loop->post([cancelled, completion = std::move(completion), addresses = std::move(addresses), error] {
            if (!cancelled->load() && completion) completion(addresses, error);
        });
    };
    if (auto addresses = numericAddress(hostName); !addresses.empty()) {
        report(std::move(addresses), nullptr);
        return resolution;
    }
    // getaddrinfo cannot be interrupted: the lookup thread runs to its end on its own
    // and only reports when nobody cancelled meanwhile.
    std::thread([hostName, report = std::move(report)]() mutable {
        rt::Ref<rt::Error> error;
        auto addresses = resolveNow(hostName, &error);
        report(std::move(addresses), error);
    }).detach();
    return resolution;
}

}  // namespace net
