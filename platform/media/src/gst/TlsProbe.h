#pragma once
// Why a secure connection to a server fails. The HTTP source tells only that its stream
// broke; shaking hands with the server again, with the same trust, tells a refused
// certificate (and why it was refused) apart from a server that cannot be reached.
#include <gio/gio.h>

#include <string>

namespace media::gstimpl {

struct TlsProbeResult {
    /// A TCP connection was made: the failure, if any, lies in TLS.
    bool reached = false;
    /// What refused the secure connection ("the certificate has expired", ...), or the
    /// reason the server could not be reached; empty when the handshake succeeded.
    std::string reason;
};

/// Connects to the host and port of the https URL and shakes hands, checking the
/// server's certificate against `database` (nullptr: the default). Blocks for at most
/// about `timeoutSeconds`: run it off the main thread.
TlsProbeResult probeTls(const std::string& url, GTlsDatabase* database, unsigned timeoutSeconds);

}  // namespace media::gstimpl
