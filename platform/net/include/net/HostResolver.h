#pragma once
// Asynchronous host-name resolution. The lookup runs off the caller's thread and the
// result is reported on a run loop: the one given, or the one that was current when
// resolve() was called. A numeric address needs no lookup and no thread; it is still
// reported on the loop, never from inside resolve().

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace net {

/// A resolved socket address: the bytes of a sockaddr_in or sockaddr_in6.
using SocketAddress = rt::Data;

/// The text form of an address ("127.0.0.1", "::1"); empty for anything else.
std::string addressText(const SocketAddress& address);
/// The address family of the bytes (AF_INET, AF_INET6), or AF_UNSPEC (0) when the
/// bytes are shorter than a generic socket address or of another family.
int addressFamily(const SocketAddress& address);

class HostResolution : public rt::Object {
    RT_CLASS(HostResolution, rt::Object)
public:
    /// The addresses in the resolver's order, or an error of kNetworkErrorDomain,
    /// code HostUnknown, with the getaddrinfo error under kGetAddrInfoFailureKey.
    using Completion = std::function<void(const std::vector<SocketAddress>& addresses, rt::Ref<rt::Error> error)>;

    /// Called on the reporting loop, the completion never runs afterwards.
    void cancel() { cancelled_->store(true); }
    bool isCancelled() const { return cancelled_->load(); }

    HostResolution() = default;

private:
    friend class HostResolver;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
};

class HostResolver {
public:
    static rt::Ref<HostResolution> resolve(const std::string& hostName, HostResolution::Completion completion,
                                           rt::Ref<fnd::RunLoop> loop = nullptr);
    /// The same lookup, blocking the calling thread.
    static std::vector<SocketAddress> resolveNow(const std::string& hostName, rt::Ref<rt::Error>* error);
};

}  // namespace net
