#pragma once
// The one retry a media-server connection gets after a loss: when it may reconnect and
// has not tried yet, the attempt is counted and connect runs after the delay on the run
// loop's clock, unless the connection is gone by then.

#include <cstdint>

#include <fnd/RunLoop.h>
#include <rt/Object.h>

namespace zid::vexa {

/// False when the retry is not wanted or already spent; the caller then ends the connection.
template <class Connection>
bool scheduleRetry(Connection& connection, bool wanted, std::int64_t& attempts,
                   rt::Ref<fnd::Timer> Connection::*timer, void (Connection::*connect)(), fnd::TimeInterval delay) {
    if (!wanted || attempts > 0) return false;
    ++attempts;
    rt::Weak<Connection> weak = connection.template selfAs<Connection>();
    connection.*timer = fnd::RunLoop::current()->after(delay, [weak, timer, connect] {
        if (auto retrying = weak.lock()) {
            ((*retrying).*timer).reset();
            ((*retrying).*connect)();
        }
    });
    return true;
}

}  // namespace zid::vexa
