#pragma once
// Whether the client end of a loopback TCP connection is a socket of this very process.
// A TCP connection is known by its two addresses, and no two live connections share
// them: the accepted connection's peer address, found as the local address of one of
// this process's own sockets connected to the listener, can only be that socket. Another
// process (of this user or any other) cannot pass the test, whatever it sends.

namespace media::gstimpl {

/// `accepted`: a connection accepted on a loopback listener.
bool clientIsOwnSocket(int accepted);

}  // namespace media::gstimpl
