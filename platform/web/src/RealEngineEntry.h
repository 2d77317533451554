#pragma once
// The real engine's entry points. The engine over WebKitGTK is a library of its own (a
// host asks for it as a component of the package); the web layer reaches it through this
// one table, which a program has when it links that library and lacks otherwise.

#include <memory>

#include <rt/Error.h>
#include <web/WebEngine.h>

namespace web::detail {

struct RealEngineEntry {
    bool (*canStart)(rt::Ref<rt::Error>* error);
    std::unique_ptr<WebEngine> (*make)(rt::Ref<rt::Error>* error);
    int (*pendingWebsiteDataClears)();
    void (*clearWebsiteData)();
    void (*setScriptTimeout)(double seconds);
    void (*setLoadStallTimeout)(double seconds);
};

}  // namespace web::detail

// Unmangled, so the engine library's link option can name it and pull it in.
extern "C" const web::detail::RealEngineEntry* zid_web_real_engine();
