#pragma once
// A real web server as an HLS origin: nginx, run as a child of this process on two free
// loopback ports (127.0.0.1), from a configuration of its own in a temporary folder that
// also holds its logs, pid file, temporary files and document root; nothing outside it is
// written and no privilege is needed. The caller gives the location blocks; both ports
// serve the same root and the same locations (so a redirect can send a client to the
// other port). Stopped (by its PID) and its folder removed when the object goes.
//
// The streams it usually serves are InteropStreams, linked into the root under /s/.

#include <sys/types.h>

#include <string>

namespace peers {

class NginxOrigin {
public:
    /// Picks the two ports and makes the folder; start() runs the server.
    NginxOrigin();
    ~NginxOrigin();
    NginxOrigin(const NginxOrigin&) = delete;
    NginxOrigin& operator=(const NginxOrigin&) = delete;

    /// Whether an nginx program is installed (scripts/install-deps.sh installs one).
    static bool installed();

    /// Writes the configuration with `locations` inside each server block and starts
    /// nginx; returns once both ports accept connections. Throws std::runtime_error with
    /// nginx's own complaint when it cannot.
    void start(const std::string& locations);
    /// Stops nginx (SIGTERM, then SIGKILL after two seconds) and waits for it.
    void stop();

    int port() const { return port_; }
    int otherPort() const { return otherPort_; }
    /// http://127.0.0.1:<port><path>, and the same on the other port.
    std::string url(const std::string& path) const;
    std::string otherURL(const std::string& path) const;
    /// The document root (in the temporary folder): files written here are served.
    const std::string& root() const { return root_; }
    /// The access log so far: one line per request, "<port> <status> <request URI>
    /// gzip=<ratio or -> connection=<the connection's serial number>".
    std::string accessLog() const;

private:
    std::string dir_, root_;
    int port_ = 0, otherPort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace peers
