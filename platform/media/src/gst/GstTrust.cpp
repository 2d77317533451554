#include "GstTrust.h"

#include <glib/gstdio.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace media::gstimpl {

namespace {

constexpr const char* kSystemAnchors = "/etc/ssl/certs/ca-certificates.crt";

struct TrustStores {
    std::mutex mutex;
    GTlsDatabase* system = nullptr;                 // the process's default before any change
    std::map<std::string, GTlsDatabase*> extended;  // system anchors plus extra PEM, by PEM
    std::string everyExtra;                         // every extra PEM so far, for the default
    std::vector<std::string> files;                 // their bundles, removed at exit
};

TrustStores& trustStores() {
    static auto* stores = new TrustStores;  // lives as long as the process
    return *stores;
}

/// A database of the system's anchors plus `pem`. Its file stays until the process ends:
/// the database reads it again for each connection. Called with the stores locked.
GTlsDatabase* makeTrust(TrustStores& stores, const std::string& pem, std::string& failure) {
    std::ostringstream bundle;
    if (std::ifstream system{kSystemAnchors}) bundle << system.rdbuf() << "\n";
    bundle << pem << "\n";
    gchar* path = nullptr;
    GError* error = nullptr;
    gint fd = g_file_open_tmp("zid-trust-XXXXXX.pem", &path, &error);
    if (fd < 0) {
        failure = std::string("cannot write the trust store: ") + (error ? error->message : "no temporary file");
        if (error) g_error_free(error);
        return nullptr;
    }
    close(fd);
    std::string text = bundle.str();
    GTlsDatabase* database = nullptr;
    if (g_file_set_contents(path, text.c_str(), static_cast<gssize>(text.size()), &error))
        database = g_tls_file_database_new(path, &error);
    if (database) {
        stores.files.emplace_back(path);
        static const bool cleanupRegistered = [] {
            std::atexit([] {
                for (const auto& file : trustStores().files) g_unlink(file.c_str());
            });
            return true;
        }();
        (void)cleanupRegistered;
    } else {
        g_unlink(path);
        failure = std::string("the extra certificate authorities cannot be read: ") + (error ? error->message : "unknown");
    }
    if (error) g_error_free(error);
    g_free(path);
    return database;
}

}  // namespace

/// The system's anchors plus `pem` as one database, built once per PEM; sets `failure`
/// when it cannot be made.
GTlsDatabase* extendedTrust(const std::string& pem, std::string& failure) {
    auto& stores = trustStores();
    std::lock_guard lock(stores.mutex);
    GTlsBackend* backend = g_tls_backend_get_default();
    if (!stores.system) stores.system = g_tls_backend_get_default_database(backend);  // keeps the reference
    if (auto it = stores.extended.find(pem); it != stores.extended.end()) return it->second;
    GTlsDatabase* database = makeTrust(stores, pem, failure);
    if (!database) return nullptr;
    stores.extended[pem] = database;
    // The adaptive demuxer's own downloader has no trust setting: it takes the default
    // database, which therefore holds the system's anchors and every extra one so far.
    stores.everyExtra += pem + "\n";
    GTlsDatabase* every = stores.extended.size() == 1 ? static_cast<GTlsDatabase*>(g_object_ref(database)) : makeTrust(stores, stores.everyExtra, failure);
    if (!every) return nullptr;
    g_tls_backend_set_default_database(backend, every);
    g_object_unref(every);
    return database;
}

/// The database a source of a pipeline without extra anchors uses: the system's, even
/// after the default was extended for another pipeline.
GTlsDatabase* systemTrust() {
    auto& stores = trustStores();
    std::lock_guard lock(stores.mutex);
    return stores.system;
}

void onSourceSetup(GstElement*, GstElement* source, gpointer data) {
    auto* database = static_cast<GTlsDatabase*>(data);
    if (!database) database = systemTrust();
    if (!database || !g_object_class_find_property(G_OBJECT_GET_CLASS(source), "tls-database")) return;
    g_object_set(source, "tls-database", database, nullptr);
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "ssl-strict")) g_object_set(source, "ssl-strict", TRUE, nullptr);
}

}  // namespace media::gstimpl
