#pragma once
// Whether, and how, this machine reaches the network: the interface of the default
// route decides. A route through a cellular-like interface (point-to-point, raw-IP,
// wwan) counts as cellular; any other usable default route counts as Wi-Fi-like; no
// usable default route (none, or its interface down or without carrier) is none.
//
// A netlink route socket reports changes of links, addresses and routes; it is
// watched as a file-descriptor source of the run loop current at start(), and the
// change handler runs there, once per change of status.

#include <functional>
#include <string>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <rt/Object.h>

namespace net {

class Reachability : public rt::Object {
    RT_CLASS(Reachability, rt::Object)
public:
    /// The values are the network status integers the framework stores.
    enum class Status : int { NotReachable = 0, ReachableViaCellular = 1, ReachableViaWiFi = 2 };

    Reachability();
    ~Reachability() override;

    /// Opens the netlink sockets (in the calling thread's network namespace), reads the
    /// status and starts watching. Answers false, with the error, when the sockets
    /// cannot be opened; the status then stays NotReachable.
    /// Watches on the given loop (the calling thread's loop when none is given).
    bool start(rt::Ref<rt::Error>* error = nullptr, rt::Ref<fnd::RunLoop> loop = nullptr);
    void stop();
    bool isRunning() const { return monitorFd_ >= 0; }

    Status status() const { return status_; }
    /// The interface of the route the status comes from; empty when not reachable.
    const std::string& interfaceName() const { return interface_; }

    using ChangeHandler = std::function<void(Status)>;
    void setChangeHandler(ChangeHandler handler) { handler_ = std::move(handler); }

    /// Reads the routes and links again; calls the handler when the status changed.
    void refresh();

    /// How an interface counts, from its name and its link type (ARPHRD_*).
    static Status classify(const std::string& interfaceName, unsigned linkType);

private:
    void onReadable();

    int monitorFd_ = -1;
    int queryFd_ = -1;
    unsigned sequence_ = 0;
    Status status_ = Status::NotReachable;
    std::string interface_;
    ChangeHandler handler_;
    rt::Ref<fnd::RunLoop> loop_;
    fnd::RunLoop::SourceId source_ = 0;
};

}  // namespace net
