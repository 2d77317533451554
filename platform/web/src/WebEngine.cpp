#include <web/WebEngine.h>

#include <atomic>
#include <mutex>

#include <web/RealWebEngine.h>

#include "UnavailableWebEngine.h"

namespace web {

namespace {

std::mutex factoryMutex;
WebEngineFactory& currentFactory() {
    static WebEngineFactory factory;
    return factory;
}
std::atomic<unsigned long> clearCount{0};

}  // namespace

#ifdef ZID_WEB_REAL_ENGINE
namespace detail {
void clearRealWebsiteData();
}
#else
bool canStartRealEngine(rt::Ref<rt::Error>* error) {
    if (error)
        *error = rt::Error::withDescription(kWebEngineErrorDomain, 2,
                                            "This build has no web engine: install libwebkit2gtk-4.1-dev and "
                                            "configure again.");
    return false;
}
std::unique_ptr<WebEngine> makeRealWebEngine(rt::Ref<rt::Error>* error) {
    canStartRealEngine(error);
    return nullptr;
}
int pendingWebsiteDataClears() { return 0; }
void setScriptTimeout(double) {}
#endif

WebEngineFactory setWebEngineFactory(WebEngineFactory factory) {
    std::lock_guard<std::mutex> lock(factoryMutex);
    WebEngineFactory previous = std::move(currentFactory());
    currentFactory() = std::move(factory);
    return previous;
}

std::unique_ptr<WebEngine> makeWebEngine() {
    WebEngineFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        factory = currentFactory();
    }
    if (factory) {
        if (auto engine = factory()) return engine;
    }
    rt::Ref<rt::Error> error;
    if (auto real = makeRealWebEngine(&error)) return real;
    // No engine can start (none built, or no display): the view says so to its host at
    // each load. Only a test that asks for it gets the scripted engine.
    return std::make_unique<UnavailableWebEngine>(error ? error->localizedDescription()
                                                        : std::string("The web engine did not start."));
}

bool isRealEngineAvailable() {
#ifdef ZID_WEB_REAL_ENGINE
    return true;
#else
    return false;
#endif
}

void clearAllWebsiteData() {
    ++clearCount;
#ifdef ZID_WEB_REAL_ENGINE
    detail::clearRealWebsiteData();
#endif
}

unsigned long websiteDataClearCount() { return clearCount.load(); }

}  // namespace web
