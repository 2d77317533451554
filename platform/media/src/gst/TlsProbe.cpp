#include "TlsProbe.h"

#include <vector>

namespace media::gstimpl {

namespace {

std::string describeCertificateErrors(GTlsCertificateFlags errors) {
    static const std::vector<std::pair<GTlsCertificateFlags, const char*>> reasons = {
        {G_TLS_CERTIFICATE_UNKNOWN_CA, "it is not signed by an authority this player trusts"},
        {G_TLS_CERTIFICATE_BAD_IDENTITY, "it was issued for another host"},
        {G_TLS_CERTIFICATE_NOT_ACTIVATED, "it is not valid yet"},
        {G_TLS_CERTIFICATE_EXPIRED, "it has expired"},
        {G_TLS_CERTIFICATE_REVOKED, "it has been revoked"},
        {G_TLS_CERTIFICATE_INSECURE, "it uses an insecure algorithm"},
        {G_TLS_CERTIFICATE_GENERIC_ERROR, "it could not be checked"},
    };
    std::string text;
    for (const auto& [flag, reason] : reasons) {
        if (!(errors & flag)) continue;
        text += text.empty() ? "" : "; ";
        text += reason;
    }
    return "the server's certificate was refused: " + (text.empty() ? std::string("it could not be checked") : text);
}

gboolean onAcceptCertificate(GTlsConnection*, GTlsCertificate*, GTlsCertificateFlags errors, gpointer data) {
    *static_cast<GTlsCertificateFlags*>(data) = errors;
    return FALSE;  // the same verdict the source reached
}

std::string messageOf(GError* error, const char* fallback) {
    std::string text = error ? error->message : fallback;
    if (error) g_error_free(error);
    return text;
}

}  // namespace

TlsProbeResult probeTls(const std::string& url, GTlsDatabase* database, unsigned timeoutSeconds) {
    TlsProbeResult result;
    GError* error = nullptr;
    GUri* uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, &error);
    if (!uri) {
        result.reason = messageOf(error, "the URL cannot be read");
        return result;
    }
    std::string host = g_uri_get_host(uri) ? g_uri_get_host(uri) : "";
    int port = g_uri_get_port(uri);
    g_uri_unref(uri);
    if (port <= 0) port = 443;

    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, timeoutSeconds);  // also bounds the handshake's reads
    GSocketConnection* connection =
        g_socket_client_connect_to_host(client, host.c_str(), static_cast<guint16>(port), nullptr, &error);
    g_object_unref(client);
    if (!connection) {
        result.reason = messageOf(error, "the server cannot be reached");
        return result;
    }
    result.reached = true;
    GSocketConnectable* identity = g_network_address_new(host.c_str(), static_cast<guint16>(port));
    GIOStream* tls = g_tls_client_connection_new(G_IO_STREAM(connection), identity, &error);
    g_object_unref(identity);
    if (!tls) {
        g_object_unref(connection);
        result.reason = "no secure connection can be made: " + messageOf(error, "TLS is not available");
        return result;
    }
    if (database) g_tls_connection_set_database(G_TLS_CONNECTION(tls), database);
    GTlsCertificateFlags refused = static_cast<GTlsCertificateFlags>(0);
    g_signal_connect(tls, "accept-certificate", G_CALLBACK(onAcceptCertificate), &refused);
    if (!g_tls_connection_handshake(G_TLS_CONNECTION(tls), nullptr, &error)) {
        if (refused || g_error_matches(error, G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE)) {
            result.reason = describeCertificateErrors(refused);
            if (error) g_error_free(error);
        } else {
            result.reason = "the secure handshake failed: " + messageOf(error, "unknown");
        }
    }
    g_io_stream_close(tls, nullptr, nullptr);
    g_object_unref(tls);
    g_object_unref(connection);
    return result;
}

}  // namespace media::gstimpl
