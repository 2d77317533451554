#pragma once
// The peers' loopback HTTP servers: one httplib server, with TLS when a certificate is
// given, made the same way for every peer.

#include <memory>
#include <string>

#include <httplib.h>

#include "peers/TestCertificates.h"

namespace peers {

/// A TLS server with the certificate and its key.
/// Throws naming `who` when either cannot be read or TLS cannot be set up.
std::unique_ptr<httplib::SSLServer> makeTlsServer(const TestCertificate& certificate, const std::string& who);

/// A TLS server when a certificate is given, else a plain one.
std::unique_ptr<httplib::Server> makeHttpServer(const TestCertificate* certificate, const std::string& who);

}  // namespace peers
