#include <web/WebEngine.h>

#include <atomic>
#include <mutex>

#include <web/RealWebEngine.h>

#include "RealEngineEntry.h"
#include "UnavailableWebEngine.h"

// Present when the program links the real engine's library.
extern "C" const web::detail::RealEngineEntry* zid_web_real_engine() __attribute__((weak));

namespace web {

namespace {

std::mutex factoryMutex;
WebEngineFactory& currentFactory() {
    static WebEngineFactory factory;
    return factory;
}
std::atomic<unsigned long> clearCount{0};

}  // namespace

bool canStartRealEngine(rt::Ref<rt::Error>* error) {
    if (zid_web_real_engine) return zid_web_real_engine()->canStart(error);
    if (error)
        *error = rt::Error::withDescription(kWebEngineErrorDomain, 2,
                                            "This program has no web engine: link Zidoredider::Web "
                                            "(find_package(Zidoredider COMPONENTS Web)), which a build "
                                            "with libwebkit2gtk-4.1-dev installs.");
    return false;
}

std::unique_ptr<WebEngine> makeRealWebEngine(rt::Ref<rt::Error>* error) {
    if (zid_web_real_engine) return zid_web_real_engine()->make(error);
    canStartRealEngine(error);
    return nullptr;
}

int pendingWebsiteDataClears() { return zid_web_real_engine ? zid_web_real_engine()->pendingWebsiteDataClears() : 0; }

void setScriptTimeout(double seconds) {
    if (zid_web_real_engine) zid_web_real_engine()->setScriptTimeout(seconds);
}

void setLoadStallTimeout(double seconds) {
    if (zid_web_real_engine) zid_web_real_engine()->setLoadStallTimeout(seconds);
}

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

bool isRealEngineAvailable() { return zid_web_real_engine != nullptr; }

void clearAllWebsiteData() {
    ++clearCount;
    if (zid_web_real_engine) zid_web_real_engine()->clearWebsiteData();
}

unsigned long websiteDataClearCount() { return clearCount.load(); }

}  // namespace web
